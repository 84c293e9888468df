// One small owner template for Win32 handles: the handle is closed when its owner goes away.
// Each handle kind names its empty value and its close call in a traits type.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shtypes.h>
#include <wininet.h>

#include <utility>

template <typename Traits>
class UniqueAny {
public:
    using Type = typename Traits::Type;

    UniqueAny() = default;
    explicit UniqueAny(Type value) : value_(value) {}
    ~UniqueAny() { reset(); }

    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    Type get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::Empty(); }

    // Closes what is held and hands out the slot for an out-parameter.
    Type* put() {
        reset();
        return &value_;
    }
    Type release() { return std::exchange(value_, Traits::Empty()); }
    void reset(Type value = Traits::Empty()) {
        Type old = std::exchange(value_, value);
        if (old != Traits::Empty()) Traits::Close(old);
    }
    // Closes now and reports whether the close call succeeded (true when nothing was held).
    bool close() {
        Type old = release();
        return old == Traits::Empty() || Traits::Close(old);
    }

private:
    Type value_ = Traits::Empty();
};

struct HandleTraits {
    using Type = HANDLE;
    static Type Empty() { return nullptr; }
    static bool Close(Type h) { return ::CloseHandle(h) != FALSE; }
};
struct FileTraits : HandleTraits {
    static Type Empty() { return INVALID_HANDLE_VALUE; }
};
struct FindTraits {
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return ::FindClose(h) != FALSE; }
};
struct HKeyTraits {
    using Type = HKEY;
    static Type Empty() { return nullptr; }
    static bool Close(Type k) { return ::RegCloseKey(k) == ERROR_SUCCESS; }
};
struct ViewTraits {
    using Type = void*;
    static Type Empty() { return nullptr; }
    static bool Close(Type v) { return ::UnmapViewOfFile(v) != FALSE; }
};
struct WindowTraits {
    using Type = HWND;
    static Type Empty() { return nullptr; }
    static bool Close(Type w) { return ::DestroyWindow(w) != FALSE; }
};
struct ImageListTraits {
    using Type = HIMAGELIST;
    static Type Empty() { return nullptr; }
    static bool Close(Type list) { return ::ImageList_Destroy(list) != FALSE; }
};
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Empty() { return nullptr; }
    static bool Close(Type object) { return ::DeleteObject(object) != FALSE; }
};
struct DcTraits {  // memory and information contexts (CreateCompatibleDC, CreateIC)
    using Type = HDC;
    static Type Empty() { return nullptr; }
    static bool Close(Type dc) { return ::DeleteDC(dc) != FALSE; }
};
struct ItemIdListTraits {  // shell item-ID lists, allocated with the COM task allocator
    using Type = LPITEMIDLIST;
    static Type Empty() { return nullptr; }
    static bool Close(Type list) {
        ::CoTaskMemFree(list);
        return true;
    }
};

struct InternetTraits {
    using Type = HINTERNET;
    static Type Empty() { return nullptr; }
    static bool Close(Type h) { return ::InternetCloseHandle(h) != FALSE; }
};

using UniqueHandle = UniqueAny<HandleTraits>;     // events, mutexes, processes, mappings
using UniqueFile = UniqueAny<FileTraits>;         // CreateFile results
using UniqueFindHandle = UniqueAny<FindTraits>;   // FindFirstFile results
using UniqueHKey = UniqueAny<HKeyTraits>;
using UniqueView = UniqueAny<ViewTraits>;         // MapViewOfFile results
using UniqueInternet = UniqueAny<InternetTraits>; // WinInet session and request handles
using UniqueWindow = UniqueAny<WindowTraits>;     // windows and modeless dialogs
using UniqueImageList = UniqueAny<ImageListTraits>;
using UniqueGdiObject = UniqueAny<GdiObjectTraits>;  // bitmaps, brushes, fonts
using UniqueDc = UniqueAny<DcTraits>;
using UniqueItemIdList = UniqueAny<ItemIdListTraits>;

// COM interface pointer, released when the owner goes away.
template <typename I>
class UniqueCom {
public:
    UniqueCom() = default;
    ~UniqueCom() { reset(); }
    UniqueCom(const UniqueCom&) = delete;
    UniqueCom& operator=(const UniqueCom&) = delete;

    I* get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void** put_void() {
        reset();
        return reinterpret_cast<void**>(&p_);
    }
    I** put() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
    }

private:
    I* p_ = nullptr;
};
