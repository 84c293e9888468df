// The shipped installer's own C++ run-time support: memory allocation, the library's error paths
// and std::string's code, so that the exe carries no exception machinery (about 200 KB of it).
//
// The installer throws and catches nothing: it is compiled with -fno-exceptions. The library
// still reports a failed allocation or a misuse (a string past its maximum length) by throwing
// from the functions below; linked from libstdc++, they bring exception objects, the unwinder,
// the terminate handler and its name demangler, and the pthread library under those. Here each
// of them ends the installer with exit code 1, the exit code of every failed installation; an
// uncaught exception ended it too, with no message the user could read.
//
// Linked into the shipped programs only (the installer and the uninstaller): the tests link the
// ordinary library and keep its exceptions.
//
// LeanStart is the programs' entry point, in place of the C run-time's start-up code (they are
// linked with -nostartfiles): msvcrt.dll sets itself up when the system loads it, so all a start
// has to do is run the constructors of static objects, hand the arguments to WinMain, run the
// exit handlers (the static objects' destructors) and end the process with WinMain's exit code.
// The start-up code it replaces, with its TLS, SEH and floating-point set-up and its run-time
// relocation of imported data (nothing here imports data: atexit, which msvcrt.dll exports only
// as data, is ours below), is some 8 KB of every package.
#include <windows.h>

#include <cstdlib>
#include <new>
#include <string>

namespace {

[[noreturn]] void EndInstaller() {
    ExitProcess(1);
}

}  // namespace

struct StartupInfo {
    int new_mode;
};
extern "C" int __cdecl __getmainargs(int* argc, char*** argv, char*** environment, int wildcards,
                                     StartupInfo* startup);  // msvcrt.dll: fills __argc, __argv
extern "C" void __cdecl __main();                           // runs the static constructors

namespace {

// The exit handlers: the static objects' destructors, registered by their constructors.
using ExitHandler = void(__cdecl*)();
constexpr int kMaxExitHandlers = 64;
ExitHandler g_exit_handlers[kMaxExitHandlers];
int g_exit_handler_count = 0;

}  // namespace

extern "C" int __cdecl atexit(ExitHandler handler) {
    if (g_exit_handler_count == kMaxExitHandlers) return -1;
    g_exit_handlers[g_exit_handler_count++] = handler;
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show_command);

extern "C" void __cdecl LeanStart() {
    int argc = 0;
    char** argv = nullptr;
    char** environment = nullptr;
    StartupInfo startup{0};
    __getmainargs(&argc, &argv, &environment, 0, &startup);
    __main();
    const int exit_code =
        WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWDEFAULT);
    // Last registered, first run, as exit() does.
    while (g_exit_handler_count > 0) g_exit_handlers[--g_exit_handler_count]();
    ExitProcess(static_cast<UINT>(exit_code));
}

// Allocation: malloc and free of the C library the program uses anyway.
void* operator new(std::size_t size) {
    void* block = std::malloc(size != 0 ? size : 1);
    if (block == nullptr) EndInstaller();
    return block;
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

// The library's throw helpers (declared in <bits/functexcept.h>). All of them: libstdc++ defines
// them in one object, which must not be linked beside these.
namespace std {
void __throw_bad_exception() { EndInstaller(); }
void __throw_bad_alloc() { EndInstaller(); }
void __throw_bad_array_new_length() { EndInstaller(); }
void __throw_bad_cast() { EndInstaller(); }
void __throw_bad_typeid() { EndInstaller(); }
void __throw_logic_error(const char*) { EndInstaller(); }
void __throw_domain_error(const char*) { EndInstaller(); }
void __throw_invalid_argument(const char*) { EndInstaller(); }
void __throw_length_error(const char*) { EndInstaller(); }
void __throw_out_of_range(const char*) { EndInstaller(); }
void __throw_out_of_range_fmt(const char*, ...) { EndInstaller(); }
void __throw_runtime_error(const char*) { EndInstaller(); }
void __throw_range_error(const char*) { EndInstaller(); }
void __throw_overflow_error(const char*) { EndInstaller(); }
void __throw_underflow_error(const char*) { EndInstaller(); }
}  // namespace std

// std::string's members, compiled here without exception tables. libstdc++ has them compiled in
// one object with an unwind entry for each; the default link script keeps every unwind entry,
// and each entry keeps its function, so linking that object would keep all 200 members. Defined
// here, only the members the program calls are linked. The wide string too: the uninstaller
// compares the names the system gives open files.
template class std::basic_string<char>;
template class std::basic_string<wchar_t>;
