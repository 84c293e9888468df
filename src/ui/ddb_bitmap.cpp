// TkvDDBBitmap: bitmap and memory device context kept together.
#include "ui/ddb_bitmap.h"

void TkvDDBBitmap::SetWidth(int width) {
    info_.bmWidth = width;
    Recreate();
}

void TkvDDBBitmap::SetHeight(int height) {
    info_.bmHeight = height;
    Recreate();
}

void TkvDDBBitmap::SetHandle(HBITMAP bitmap) {
    if (bitmap == nullptr) return;
    Release();
    bitmap_.reset(bitmap);
    OpenDC();
    GetObjectA(bitmap, sizeof info_, &info_);
}

HBITMAP TkvDDBBitmap::Handle() {
    if (dc_ && bitmap_) {
        SelectObject(dc_.get(), previous_);
        dc_.reset();
    }
    return static_cast<HBITMAP>(bitmap_.get());
}

HDC TkvDDBBitmap::DC() {
    if (!dc_ && bitmap_) OpenDC();
    return dc_.get();
}

int TkvDDBBitmap::DisplayBitsPerPixel() {
    UniqueDc info(CreateICA("DISPLAY", nullptr, nullptr, nullptr));
    return GetDeviceCaps(info.get(), BITSPIXEL);
}

void TkvDDBBitmap::Release() {
    if (dc_ && bitmap_) SelectObject(dc_.get(), previous_);
    dc_.reset();
    bitmap_.reset();
    previous_ = nullptr;
}

void TkvDDBBitmap::OpenDC() {
    dc_.reset(CreateCompatibleDC(nullptr));
    previous_ = SelectObject(dc_.get(), bitmap_.get());
    if (previous_ == nullptr || previous_ == HGDI_ERROR) Release();
}

void TkvDDBBitmap::Recreate() {
    const int width = info_.bmWidth;
    const int height = info_.bmHeight;
    Release();
    info_ = BITMAP{};
    info_.bmWidth = width;
    info_.bmHeight = height;
    bitmap_.reset(CreateBitmap(width, height, 1, DisplayBitsPerPixel(), nullptr));
    OpenDC();
}
