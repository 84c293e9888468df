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
#include <windows.h>

#include <cstdlib>
#include <new>
#include <string>

namespace {

[[noreturn]] void EndInstaller() {
    ExitProcess(1);
}

}  // namespace

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
