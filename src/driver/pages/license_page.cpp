// The agreement page: shows the package's agreement text and lets the user agree only after the
// whole text has been scrolled into view.
#include "driver/pages/page_procs.h"
#include "package/package_format.h"
#include "resource.h"
#include "ui/dialogs.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/profile.h"
#include "utils/shown_text.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

// The agreement text loaded by LicenseInit, handed to the page when it opens (and then let go),
// and whether the page's field is taking it: its scroll notifications are then ignored.
struct LicenseText {
    std::string text;
    bool loaded = false;
    bool taking = false;
};
LicenseText g_license;

void OnInitDialog(HWND page) {
    CenterWindow(page);
    SetForegroundWindow(page);
    HWND edit = GetDlgItem(page, IDC_LICENSE_TEXT);
    if (g_license.loaded) {
        // Wine's edit control scrolls to the end of the new text and back while taking it,
        // notifying EN_VSCROLL on the way: that is no reading of the text.
        g_license.taking = true;
        SetShownText(edit, g_license.text);
        g_license.taking = false;
        std::string().swap(g_license.text);  // shown once; the page keeps no copy
        g_license.loaded = false;
    }
    SetCaption(page, PageContext().AppName);
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
        if (!g_license.taking) EnableAgreeAtEnd(reinterpret_cast<HWND>(lparam), page);
        return TRUE;
    default:
        return TRUE;
    }
}

}  // namespace

bool LicenseInit(const std::string& temp_folder) {
    // Only the file-name part counts: the pre-extracted files all lie in the temporary folder.
    // A text that is only partly there is no text to agree to.
    const std::string name = FileNameOf(ReadProfileString(kLicenseTextKey, ""));
    g_license.loaded = !name.empty() && ReadWholeFile(temp_folder + name, g_license.text);
    if (!g_license.loaded) std::string().swap(g_license.text);
    return g_license.loaded;
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
