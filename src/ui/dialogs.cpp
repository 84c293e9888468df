// Window plumbing shared by the pages: centring, texts, folder browser.
#include "ui/dialogs.h"

#include <shlobj.h>

#include "utils/shell.h"
#include "utils/shown_text.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const char kBrowseTitle[] = "インストールするフォルダを指定してください";

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        CenterWindow(browser);
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
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
    SetShownText(GetDlgItem(dialog, control_id), text);
}

void SetCaption(HWND window, const std::string& text) {
    constexpr size_t kMaxCaption = 256;
    SetShownText(window, ShortenedText(text, kMaxCaption));
}

bool BrowseForFolder(HWND owner, const std::string& initial_folder, std::wstring& folder) {
    ScopedCoInit com;
    wchar_t display_name[MAX_PATH + 1] = {};
    const std::wstring title = ShownText(kBrowseTitle);
    const std::wstring initial = WideText(initial_folder);
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pszDisplayName = display_name;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(initial.c_str());
    UniqueItemIdList items(SHBrowseForFolderW(&info));
    if (!items) return false;
    wchar_t path[MAX_PATH + 1] = {};
    SHGetPathFromIDListW(items.get(), path);
    folder = path;
    return true;
}
