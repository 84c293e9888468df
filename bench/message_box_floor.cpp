// Benchmark helper: the least a Win32 program with a question can do, as the floor of the
// installer's start-up: it shows one message box (as the installer's first question does) and
// ends. Built like the installer (static, stripped), with nothing else.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return MessageBoxA(nullptr, "floor", "bench", MB_YESNO | MB_ICONINFORMATION) == IDYES ? 0 : 1;
}
