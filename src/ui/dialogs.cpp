// Window plumbing shared by the pages: centring, texts, folder browser.
#include "ui/dialogs.h"

#include <shlobj.h>

#include "utils/shell.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const char kBrowseTitle[] = "インストールするフォルダを指定してください";

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        CenterWindow(browser);
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, data);
    }
    return 0;
}

}  // namespace

void CenterWindow(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    SetWindowPos(window, HWND_TOP, x, y, width, height, SWP_SHOWWINDOW);
}

void SetItemText(HWND dialog, int control_id, const std::string& text) {
    SetWindowTextA(GetDlgItem(dialog, control_id), text.c_str());
}

void SetCaption(HWND window, const std::string& text) {
    constexpr size_t kMaxCaption = 256;
    SetWindowTextA(window, ShortenedText(text, kMaxCaption).c_str());
}

bool BrowseForFolder(HWND owner, const std::string& initial_folder, std::string& folder) {
    ScopedCoInit com;
    char display_name[MAX_PATH + 1] = {};
    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.pszDisplayName = display_name;
    info.lpszTitle = kBrowseTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(initial_folder.c_str());
    UniqueItemIdList items(SHBrowseForFolderA(&info));
    if (!items) return false;
    char path[MAX_PATH + 1] = {};
    SHGetPathFromIDListA(items.get(), path);
    folder = path;
    return true;
}
