// The agreement and install-folder pages in-process: what the agreement page loads and shows, and
// the folder page stepping aside while prerequisites are pending.
#include <gtest/gtest.h>

#include <windows.h>

#include "downloader/download_list.h"
#include "driver/flow/globals.h"
#include "driver/pages/page_procs.h"
#include "resource.h"
#include "support/test_support.h"
#include "utils/files.h"
#include "utils/profile.h"

namespace {

// The agreement page opened modeless, as the modal page would be, and closed at scope exit.
class OpenLicensePage {
public:
    OpenLicensePage()
        : page_(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_LICENSE),
                                   nullptr, LicenseDlgProc, 0)) {}
    ~OpenLicensePage() { DestroyWindow(page_); }
    OpenLicensePage(const OpenLicensePage&) = delete;
    OpenLicensePage& operator=(const OpenLicensePage&) = delete;

    HWND page() const { return page_; }
    std::string Text() const {
        std::string text(GetWindowTextLengthA(GetDlgItem(page_, IDC_LICENSE_TEXT)) + 1, '\0');
        text.resize(GetDlgItemTextA(page_, IDC_LICENSE_TEXT, text.data(), static_cast<int>(text.size())));
        return text;
    }
    bool AgreeEnabled() const { return IsWindowEnabled(GetDlgItem(page_, IDC_LICENSE_AGREE)) != FALSE; }

private:
    HWND page_;
};

TEST(LicensePage, LoadsTheNamedFileFromTheTemporaryFolder) {
    std::string long_text;
    for (int i = 0; i < 200; ++i) long_text += "第" + std::to_string(i) + "条\r\n";
    struct Case {
        const char* name;
        const char* text_key;    // [LICENSEAGREE] Text
        std::string content;     // of temp\license.txt
        bool loaded;             // LicenseInit's result
        std::string shown;       // the field's text once the page is open
        bool agree_enabled;      // at once
    };
    const Case cases[] = {
        {"plain name", "license.txt", "規約です。\r\n二行目", true, "規約です。\r\n二行目", true},
        {"folder part ignored", "docs\\sub\\license.txt", "規約", true, "規約", true},
        {"empty file", "license.txt", "", true, "", true},
        {"zero byte ends the text", "license.txt", std::string("前\0後", 5), true, "前", true},
        {"long text", "license.txt", long_text, true, long_text, false},
        {"missing file", "other.txt", "規約", false, "T", true},
        {"no file name", "docs\\", "規約", false, "T", true},
        {"no key", "", "規約", false, "T", true},
    };
    PageContext().AppName = "キャラ名";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestFolder temp;
        WriteTextFile(temp / "license.txt", c.content);
        WriteTextFile(temp / "s.ini", std::string("[LICENSEAGREE]\r\nText=") + c.text_key + "\r\n");
        SelectProfile(temp / "s.ini", "LICENSEAGREE");
        EXPECT_EQ(c.loaded, LicenseInit(temp.path()));
        {
            OpenLicensePage open;
            ASSERT_NE(nullptr, open.page());
            EXPECT_EQ(c.shown, open.Text());
            EXPECT_EQ(c.agree_enabled, open.AgreeEnabled());
            char title[64] = {};
            GetWindowTextA(open.page(), title, sizeof title);
            EXPECT_STREQ("キャラ名", title);
        }
        // The text is handed over once: a page opened again has none.
        OpenLicensePage again;
        EXPECT_EQ("T", again.Text());
    }
}

TEST(LicensePage, ScrollingToTheEndEnablesAgreeForGood) {
    TestFolder temp;
    std::string text;
    for (int i = 0; i < 100; ++i) text += "行" + std::to_string(i) + "\r\n";
    WriteTextFile(temp / "license.txt", text);
    WriteTextFile(temp / "s.ini", "[LICENSEAGREE]\r\nText=license.txt\r\n");
    SelectProfile(temp / "s.ini", "LICENSEAGREE");
    ASSERT_TRUE(LicenseInit(temp.path()));
    OpenLicensePage open;
    HWND edit = GetDlgItem(open.page(), IDC_LICENSE_TEXT);
    SendMessageA(edit, WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_FALSE(open.AgreeEnabled());
    SendMessageA(edit, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_TRUE(open.AgreeEnabled());
    SendMessageA(edit, WM_VSCROLL, SB_TOP, 0);
    EXPECT_TRUE(open.AgreeEnabled());
}

TEST(FolderPage, GoesOnAtOnceWhilePrerequisitesArePending) {
    PageContext().InstallDir = "C:\\まだない\\";
    DownloadList().push_back(TDownloadListProp{});
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_FOLDER),
                                           nullptr, FolderDlgProc, 0);
    DownloadList().clear();
    EXPECT_EQ(IDYES, result);
    EXPECT_EQ("C:\\まだない\\", PageContext().InstallDir);
    EXPECT_FALSE(HasDownloadItems());
}

}  // namespace
