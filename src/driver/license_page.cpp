// The agreement page: shows the package's agreement text and lets the user agree only after the
// whole text has been scrolled into view.
#include <memory>
#include <new>

#include "driver/globals.h"
#include "driver/page_procs.h"
#include "resource.h"
#include "ui/dialogs.h"
#include "utils/message_box.h"
#include "utils/profile.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

// Zero bytes after the file's data: the text ends there even without a zero of its own.
constexpr size_t kTextPadding = 20;

// The agreement text loaded by LicenseInit, handed to the page when it opens; null when none.
std::unique_ptr<char[]> g_text;
// True while the page's field takes the text: its scroll notifications are then ignored.
bool g_taking_text = false;

// The whole file followed by kTextPadding zero bytes, or null when the file cannot be opened,
// sized or read completely (a text that is only partly there is no text to agree to).
std::unique_ptr<char[]> ReadWholeFile(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > MAXDWORD - kTextPadding) {
        return nullptr;
    }
    const DWORD length = static_cast<DWORD>(size.QuadPart);
    std::unique_ptr<char[]> text(new (std::nothrow) char[length + kTextPadding]());
    if (!text) return nullptr;
    DWORD read = 0;
    if (!ReadFile(file.get(), text.get(), length, &read, nullptr) || read != length) return nullptr;
    return text;
}

void OnInitDialog(HWND page) {
    CenterWindow(page);
    SetForegroundWindow(page);
    HWND edit = GetDlgItem(page, IDC_LICENSE_TEXT);
    if (g_text) {
        // Wine's edit control scrolls to the end of the new text and back while taking it,
        // notifying EN_VSCROLL on the way: that is no reading of the text.
        g_taking_text = true;
        SetWindowTextA(edit, g_text.get());
        g_taking_text = false;
        g_text.reset();  // shown once; the page keeps no copy
    }
    SetCaption(page, InstallOptions.AppName);
    SetFocus(edit);
    SetMessageOwner(page);
    // A text short enough to be seen whole enables the agree button at once.
    EnableAgreeAtEnd(edit, page);
}

INT_PTR OnCommand(HWND page, WPARAM wparam, LPARAM lparam) {
    switch (HIWORD(wparam)) {
    case 0:  // a button or a key; Escape's IDCANCEL is not handled, so Escape does nothing
        if (LOWORD(wparam) == IDC_LICENSE_AGREE) {
            EndDialog(page, IDYES);
            return TRUE;
        }
        if (LOWORD(wparam) == IDC_LICENSE_REFUSE) {
            EndDialog(page, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    case EN_VSCROLL:
        if (!g_taking_text) EnableAgreeAtEnd(reinterpret_cast<HWND>(lparam), page);
        return TRUE;
    default:
        return TRUE;
    }
}

}  // namespace

bool LicenseInit(const std::string& temp_folder) {
    g_text.reset();
    // Only the file-name part counts: the pre-extracted files all lie in the temporary folder.
    const std::string name = FileNameOf(ReadProfileString(kLicenseTextKey, ""));
    if (name.empty()) return false;
    g_text = ReadWholeFile(temp_folder + name);
    return static_cast<bool>(g_text);
}

void EnableAgreeAtEnd(HWND edit, HWND page) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
    GetScrollInfo(edit, SB_VERT, &info);
    // The last line is in view. The button is never disabled again.
    if (info.nPos + static_cast<int>(info.nPage) - 1 == info.nMax) {
        EnableWindow(GetDlgItem(page, IDC_LICENSE_AGREE), TRUE);
    }
}

INT_PTR CALLBACK LicenseDlgProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(page);
        return FALSE;  // the focus is set
    case WM_ACTIVATE:
        SetFocus(GetDlgItem(page, IDC_LICENSE_TEXT));
        return TRUE;
    case WM_SETCURSOR:
        // Arrives whenever the mouse moves over the page: a check that needs no scroll message.
        EnableAgreeAtEnd(GetDlgItem(page, IDC_LICENSE_TEXT), page);
        return FALSE;  // the cursor is still set the usual way
    case WM_COMMAND:
        return OnCommand(page, wparam, lparam);
    case WM_SYSCOMMAND:
        if (wparam != SC_CLOSE) return FALSE;
        EndDialog(page, IDCANCEL);
        return TRUE;
    case WM_DESTROY:
        EndDialog(page, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
