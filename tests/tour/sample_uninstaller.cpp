// The sample character package's uninstaller ("chruinst.ex_"): a box saying what it is.
// The sample so installs a real program of our own in the uninstaller's place.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MessageBoxA(nullptr,
                "これはサンプルキャラクター「こはく」のアンインストーラーです。\r\n"
                "見本なので、何も削除しません。",
                "キャラクターアンインストール", MB_OK | MB_ICONINFORMATION);
    return 0;
}
