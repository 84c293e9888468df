// The host stand-in: character windows answering the installer's messages.
#include "support/fake_host.h"

namespace {

const char kClass[] = "TfmActWin";
const char kTitle[] = "マーレスウェア";

// The identifier the installer publishes while it asks the windows.
std::string ReadMapping() {
    UniqueHandle mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, "Marlethware Installer Mapping Object"));
    if (!mapping) return "<no mapping>";
    UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) return "<no view>";
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(view.get(), &info, sizeof info);
    const char* bytes = static_cast<const char*>(view.get());
    return std::string(bytes, strnlen(bytes, info.RegionSize));
}

}  // namespace

FakeHost::FakeHost(int windows, LRESULT answer, bool hangs)
    : windows_(windows), answer_(answer), hangs_(hangs) {
    InitializeCriticalSection(&lock_);
    released_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ready_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    thread_.reset(CreateThread(nullptr, 0, &FakeHost::Run, this, 0, &thread_id_));
    WaitForSingleObject(ready_.get(), 10000);
}

FakeHost::~FakeHost() {
    SetEvent(released_.get());
    PostThreadMessageA(thread_id_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_.get(), 10000);
    DeleteCriticalSection(&lock_);
}

std::vector<std::string> FakeHost::Seen() const {
    EnterCriticalSection(&lock_);
    std::vector<std::string> copy = seen_;
    LeaveCriticalSection(&lock_);
    return copy;
}

LRESULT CALLBACK FakeHost::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<FakeHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && (message == WM_USER + 8 || message == WM_USER + 7)) {
        char title[64] = {};
        GetWindowTextA(window, title, sizeof title);
        const std::string who = std::string(title) == kTitle ? "" : "decoy";
        EnterCriticalSection(&self->lock_);
        self->seen_.push_back(who + (message == WM_USER + 8 ? "1032:" : "1031:") + ReadMapping());
        LeaveCriticalSection(&self->lock_);
        if (message == WM_USER + 8 && self->hangs_) WaitForSingleObject(self->released_.get(), INFINITE);
        return message == WM_USER + 8 ? self->answer_ : 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

DWORD WINAPI FakeHost::Run(void* param) {
    auto* self = static_cast<FakeHost*>(param);
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = kClass;
    RegisterClassA(&window_class);
    std::vector<HWND> windows;
    for (int i = 0; i <= self->windows_; ++i) {
        const char* title = i < self->windows_ ? kTitle : "別のウィンドウ";
        HWND window = CreateWindowExA(0, kClass, title, WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        windows.push_back(window);
    }
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here
    SetEvent(self->ready_.get());
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    for (HWND window : windows) DestroyWindow(window);
    UnregisterClassA(kClass, GetModuleHandleA(nullptr));
    return 0;
}
