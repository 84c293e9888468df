// TkvDDBBitmap: a device-dependent bitmap with a memory device context of its own.
#pragma once

#include <windows.h>

#include "utils/unique_any.h"

class TkvDDBBitmap {
public:
    TkvDDBBitmap() = default;
    ~TkvDDBBitmap() { Release(); }
    TkvDDBBitmap(const TkvDDBBitmap&) = delete;
    TkvDDBBitmap& operator=(const TkvDDBBitmap&) = delete;

    int Width() const { return info_.bmWidth; }
    int Height() const { return info_.bmHeight; }
    // Setting a side recreates the bitmap (its content is lost) in the display's colour depth.
    void SetWidth(int width);
    void SetHeight(int height);
    // Takes over an existing bitmap (ignored for null) and reads its size.
    void SetHandle(HBITMAP bitmap);
    // The bitmap, taken out of the device context so that other functions may select it; still
    // owned by this object.
    HBITMAP Handle();
    // The memory device context with the bitmap selected into it.
    HDC DC();

    static int DisplayBitsPerPixel();

private:
    void Release();
    void OpenDC();
    void Recreate();

    UniqueDc dc_;
    UniqueGdiObject bitmap_;
    HGDIOBJ previous_ = nullptr;  // the context's own bitmap, put back before it is deleted
    BITMAP info_{};
};
