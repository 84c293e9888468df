// End-to-end: the agreement and install-folder pages of the real installer, pressed through as a
// user would: scrolling the text, typing folders, pressing keys and buttons.
#include <gtest/gtest.h>

#include "resource.h"
#include "support/e2e_fixture.h"
#include "utils/files.h"
#include "utils/text.h"

namespace {

const char kCharacterQuestion[] = "キャラクター\"テスト\"をインストールします。\r\nよろしいですか？";
const char kPluginQuestion[] = "\"テスト\"をインストールします。\r\nよろしいですか？";
const char kPluginFinished[] = "\"テスト\"プラグインのインストールが終了しました。";
const char kCharacterFinished[] = "\"テスト\"のインストールは正常に終了しました。\r\n起動しますか？";
const char kNotAFolder[] = "正しいフォルダを指定してください";
const char kNotInCodePage[] =
    "フォルダ名に、このシステムで使えない文字が含まれています。別のフォルダを指定してください";
const char kFolderTitle[] = "インストールフォルダの設定";

std::string LongText() {
    std::string text;
    for (int i = 1; i <= 120; ++i) text += "第" + IntToText(i) + "条 本ソフトウェアの利用について。\r\n";
    return text;
}

// A file a run makes outside the test's folder, deleted when the scope ends, however it ends.
class FileDeletedAtScopeEnd {
public:
    explicit FileDeletedAtScopeEnd(const std::string& path) : path_(path) {}
    ~FileDeletedAtScopeEnd() { DeleteFileA(path_.c_str()); }
    FileDeletedAtScopeEnd(const FileDeletedAtScopeEnd&) = delete;
    FileDeletedAtScopeEnd& operator=(const FileDeletedAtScopeEnd&) = delete;

private:
    std::string path_;
};

class PagesE2E : public InstallerE2E {
protected:
    // A plug-in package showing the pages, with the agreement text as a pre-extracted file.
    std::string BuildPlugin(const std::string& dialogs, const std::string& license,
                            const std::string& text_key = "license.txt") {
        Files files = PluginFiles();
        files["$preextractdir$\\license.txt"] = license;
        return Build(PluginSetting("Dialogs=" + dialogs + "\r\n[LICENSEAGREE]\r\nText=" + text_key +
                                   "\r\n[preextractlist]\r\nitem0=$preextractdir$\\license.txt\r\n"),
                     files);
    }

    // Starts the installer, answers the first question and waits for the page with the title.
    FoundWindow StartAt(DrivenProcess& installer, const char* question, const std::string& title) {
        const FoundWindow box = installer.WaitForBox(kConfirm);
        EXPECT_EQ(question, box.text);
        DrivenProcess::Press(box, IDYES);
        const FoundWindow page = installer.WaitForWindow("#32770", title);
        EXPECT_NE(nullptr, page.window) << installer.Describe();
        return page;
    }

    // Answers the error box of the folder page and checks that the page stays.
    void ExpectRefused(DrivenProcess& installer, const FoundWindow& page,
                       const char* reason = kNotAFolder) {
        const FoundWindow box = installer.WaitForBox(kError);
        ASSERT_NE(nullptr, box.window) << installer.Describe();
        EXPECT_EQ(reason, box.text);
        EXPECT_EQ(page.window, GetWindow(box.window, GW_OWNER));
        DrivenProcess::Press(box, IDOK);
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(box.window); }));
        Settle(Control(page, IDC_FOLDER_PATH));
        EXPECT_TRUE(IsWindowVisible(page.window));
    }

    // The rest of a plug-in run after the pages: the closing box, then the exit code.
    int Finish(DrivenProcess& installer) {
        std::string mismatch;
        const int code = AnswerBoxesAndWait(installer, {{kConfirm, kPluginFinished, IDOK}}, mismatch);
        EXPECT_EQ("", mismatch);
        return code;
    }
};

TEST_F(PagesE2E, AgreeingNeedsTheTextScrolledToItsEnd) {
    const std::string text = LongText();
    const std::string exe = BuildPlugin("LICENSEAGREE", text);
    DrivenProcess installer(exe, {});
    const FoundWindow page = StartAt(installer, kPluginQuestion, "テスト");
    ASSERT_NE(nullptr, page.window);
    HWND edit = Control(page, IDC_LICENSE_TEXT);
    HWND agree = Control(page, IDC_LICENSE_AGREE);
    EXPECT_TRUE(ControlText(edit) == text) << "the field does not show the whole text";
    Settle(edit);
    EXPECT_FALSE(IsWindowEnabled(agree));

    // Escape does nothing.
    PressKey(edit, VK_ESCAPE);
    Settle(edit);
    EXPECT_TRUE(IsWindowVisible(page.window));

    // Page by page: the button comes on with the page that brings the last line into view.
    std::vector<bool> enabled;
    for (int last = -1, first = 0; first != last; ) {
        PostMessageA(edit, WM_VSCROLL, SB_PAGEDOWN, 0);
        Settle(edit);
        last = first;
        first = static_cast<int>(SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
        if (first != last) enabled.push_back(IsWindowEnabled(agree) != FALSE);
    }
    ASSERT_GE(enabled.size(), 2u);
    EXPECT_EQ(std::vector<bool>(enabled.size() - 1, false),
              std::vector<bool>(enabled.begin(), enabled.end() - 1));
    EXPECT_TRUE(enabled.back());
    // Scrolling back leaves it on.
    PostMessageA(edit, WM_VSCROLL, SB_TOP, 0);
    Settle(edit);
    EXPECT_EQ(0, SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
    EXPECT_TRUE(IsWindowEnabled(agree));

    Click(agree);
    EXPECT_EQ(0, Finish(installer));
    EXPECT_EQ("plug-in", ReadTextFile(Out() + "plugin.dll"));
}

TEST_F(PagesE2E, AgreementTextsThatNeedNoScrolling) {
    struct Case {
        const char* name;
        std::string content;
        std::string text_key;
        std::string shown;
    };
    const Case cases[] = {
        {"short text", "短い規約です。", "license.txt", "短い規約です。"},
        {"empty file", "", "license.txt", ""},
        {"folder part of Text ignored", "規約", "docs\\sub\\license.txt", "規約"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string exe = BuildPlugin("LICENSEAGREE", c.content, c.text_key);
        DrivenProcess installer(exe, {});
        const FoundWindow page = StartAt(installer, kPluginQuestion, "テスト");
        ASSERT_NE(nullptr, page.window);
        EXPECT_EQ(c.shown, ControlText(Control(page, IDC_LICENSE_TEXT)));
        EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(Control(page, IDC_LICENSE_AGREE)); }));
        Click(Control(page, IDC_LICENSE_AGREE));
        EXPECT_EQ(0, Finish(installer));
        DeleteTree(Out());
    }
}

TEST_F(PagesE2E, RefusingOrClosingEitherPageInstallsNothing) {
    struct Case {
        const char* name;
        const char* dialogs;
        const char* title;
        int button;  // 0: the close box
    };
    const Case cases[] = {
        {"agreement refused", "LICENSEAGREE,FOLDERSELECT", "テスト", IDC_LICENSE_REFUSE},
        {"agreement closed", "LICENSEAGREE", "テスト", 0},
        {"folder cancelled", "FOLDERSELECT", kFolderTitle, IDC_FOLDER_CANCEL},
        {"folder closed", "FOLDERSELECT,LICENSEAGREE", kFolderTitle, 0},
    };
    ForceFolders(Out());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string exe = BuildPlugin(c.dialogs, "短い規約");
        DrivenProcess installer(exe, {});
        const FoundWindow page = StartAt(installer, kPluginQuestion, c.title);
        ASSERT_NE(nullptr, page.window);
        if (c.button != 0) {
            Click(Control(page, c.button));
        } else {
            PostMessageA(page.window, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        std::string mismatch;
        EXPECT_EQ(1, AnswerBoxesAndWait(installer, {}, mismatch));
        EXPECT_EQ("", mismatch);
        EXPECT_FALSE(PathExists(Out() + "plugin.dll"));
    }
}

TEST_F(PagesE2E, FolderPageTakesOnlyAnExistingFolder) {
    const std::string exe = BuildPlugin("FOLDERSELECT", "");
    DrivenProcess installer(exe, {});
    const FoundWindow page = StartAt(installer, kPluginQuestion, kFolderTitle);
    ASSERT_NE(nullptr, page.window);
    HWND field = Control(page, IDC_FOLDER_PATH);
    EXPECT_EQ(StripTrailingDelimiter(Out()), ControlPath(field));

    // The install folder does not exist yet, nor does a typed one; an empty field is no folder.
    Click(Control(page, IDC_FOLDER_OK));
    ExpectRefused(installer, page);
    EXPECT_EQ(StripTrailingDelimiter(Out()), ControlPath(field));
    for (const std::string& typed : {dir / "missing", std::string()}) {
        SetControlText(field, typed);
        Click(Control(page, IDC_FOLDER_OK));
        ExpectRefused(installer, page);
        EXPECT_EQ(typed, ControlPath(field));
    }
    // A name the system's code page cannot hold (Hangul: neither 932 nor 1252 has it) is refused
    // as such, not taken with "?" in its place.
    const std::wstring hangul = WideText(dir.path()) + L"\xD55C";
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(hangul.c_str()));
    Click(Control(page, IDC_FOLDER_OK));
    ExpectRefused(installer, page, kNotInCodePage);

    // Escape does nothing.
    PressKey(field, VK_ESCAPE);
    Settle(field);
    EXPECT_TRUE(IsWindowVisible(page.window));

    // The folder browser opens on the field's folder; cancelling it leaves the field alone,
    // OK puts its folder there.
    const std::string chosen = dir / ChosenFolderName();
    ForceFolders(chosen);
    SetControlText(field, chosen);
    for (int button : {IDCANCEL, IDOK}) {
        Click(Control(page, IDC_FOLDER_BROWSE));
        FoundWindow browser;
        ASSERT_TRUE(WaitFor([&] {
            for (const FoundWindow& w : installer.Windows()) {
                if (w.class_name == "#32770" && w.window != page.window) browser = w;
            }
            return browser.window != nullptr;
        })) << installer.Describe();
        DrivenProcess::Press(browser, button);
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(browser.window); }));
        Settle(field);
        EXPECT_EQ(chosen, ControlPath(field));
    }

    // Enter acts as OK: the folder is taken as typed, without a final backslash.
    SetControlText(field, StripTrailingDelimiter(chosen));
    PressKey(field, VK_RETURN);
    EXPECT_EQ(0, Finish(installer));
    EXPECT_EQ("plug-in", ReadTextFile(chosen + "\\plugin.dll"));
    EXPECT_EQ("a", ReadTextFile(chosen + "\\data\\sub\\a.txt"));
    EXPECT_FALSE(PathExists(chosen + "data"));
    EXPECT_FALSE(PathExists(Out()));
}

TEST_F(PagesE2E, FolderPageTakesADriveRootAsTyped) {
    const std::string name = "e2e-root-" + IntToText(static_cast<int32_t>(GetTickCount())) + ".txt";
    const std::string exe = Build(PluginSetting("Dialogs=FOLDERSELECT\r\n"), {{name, "root"}});
    const FileDeletedAtScopeEnd installed("C:\\" + name);
    DrivenProcess installer(exe, {});
    const FoundWindow page = StartAt(installer, kPluginQuestion, kFolderTitle);
    ASSERT_NE(nullptr, page.window);
    SetControlText(Control(page, IDC_FOLDER_PATH), "C:\\");
    Click(Control(page, IDC_FOLDER_OK));
    EXPECT_EQ(0, Finish(installer));
    EXPECT_EQ("root", ReadTextFile("C:\\" + name));
}

TEST_F(PagesE2E, CharacterInstallsThroughBothPages) {
    Files files = CharacterFiles();
    files["$preextractdir$\\license.txt"] = "キャラクターの利用規約";
    const std::string exe =
        Build(CharacterSetting("Dialogs=LICENSEAGREE,FOLDERSELECT\r\n",
                               "[LICENSEAGREE]\r\nText=license.txt\r\n") +
                  "item1=$preextractdir$\\license.txt\r\n",
              files);
    ForceFolders(Out());
    DrivenProcess installer(exe, {});
    const FoundWindow license = StartAt(installer, kCharacterQuestion, "テスト");
    ASSERT_NE(nullptr, license.window);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(Control(license, IDC_LICENSE_AGREE)); }));
    Click(Control(license, IDC_LICENSE_AGREE));
    const FoundWindow folder = installer.WaitForWindow("#32770", kFolderTitle);
    ASSERT_NE(nullptr, folder.window) << installer.Describe();
    Click(Control(folder, IDC_FOLDER_OK));
    std::string mismatch;
    EXPECT_EQ(0, AnswerBoxesAndWait(installer, {{kConfirm, kCharacterFinished, IDNO}}, mismatch));
    EXPECT_EQ("", mismatch);
    EXPECT_EQ("character", ReadTextFile(Out() + "ven\\typ\\ven-typ.mrl"));
    ExpectCharacterInstalled(Out());
    EXPECT_FALSE(PathExists(Out() + "license.txt"));  // pre-extracted only
}

TEST_F(PagesE2E, PreExtractedFilesCannotBeSwappedWhileAPageWaits) {
    const std::string temp = dir / "tmp";
    ForceFolders(temp);
    SetEnvironmentVariableA("TMP", temp.c_str());
    Files files = CharacterFiles();
    files["$preextractdir$\\license.txt"] = "キャラクターの利用規約";
    files["$preextractdir$\\readme.txt"] = "お読みください";
    const std::string exe =
        Build(CharacterSetting("Dialogs=LICENSEAGREE\r\nLastViewText=readme.txt\r\n",
                               "[LICENSEAGREE]\r\nText=license.txt\r\n") +
                  "item1=$preextractdir$\\license.txt\r\nitem2=$preextractdir$\\readme.txt\r\n",
              files);
    DrivenProcess installer(exe, {});
    const FoundWindow license = StartAt(installer, kCharacterQuestion, "テスト");
    ASSERT_NE(nullptr, license.window);
    WIN32_FIND_DATAA entry;
    UniqueFindHandle search(FindFirstFileA((temp + "\\$$TMP$$*").c_str(), &entry));
    ASSERT_TRUE(search);
    const std::string run = temp + "\\" + entry.cFileName + "\\";
    search.reset();
    // The uninstaller, the agreement text and the last-view file: readable, but neither
    // writable, nor removable, nor to be renamed away and replaced.
    for (const char* name : {"chruinst.ex_", "license.txt", "readme.txt"}) {
        EXPECT_EQ("reading ", AllowedAccess(run + name)) << name;
    }
    Click(Control(license, IDC_LICENSE_REFUSE));
    std::string mismatch;
    EXPECT_EQ(1, AnswerBoxesAndWait(installer, {}, mismatch));
    EXPECT_EQ("", mismatch);
    EXPECT_FALSE(PathExists(run));  // let go before the folder is removed
}

// The archive's file is held from the seal's check on: while a page waits it can be read, but
// neither written, nor removed, nor renamed away and replaced by another.
TEST_F(PagesE2E, TheArchiveCannotBeChangedWhileAPageWaits) {
    const std::string exe = BuildPlugin("FOLDERSELECT", "");
    const std::string zip =
        Build(PluginSetting("Dialogs=FOLDERSELECT\r\n"), PluginFiles(), "pkg.zip", "--zip");
    const struct {
        const char* what;
        std::vector<std::string> arguments;
        std::string archive;
    } cases[] = {
        {"archive mode", {zip}, zip},
        {"the installer's own file", {}, exe},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DrivenProcess installer(exe, c.arguments);
        if (c.arguments.empty()) {
            const FoundWindow box = installer.WaitForBox(kConfirm);
            ASSERT_NE(nullptr, box.window) << installer.Describe();
            DrivenProcess::Press(box, IDYES);
        }
        const FoundWindow page = installer.WaitForWindow("#32770", kFolderTitle);
        ASSERT_NE(nullptr, page.window) << installer.Describe();
        EXPECT_EQ("reading ", AllowedAccess(c.archive));
        Click(Control(page, IDC_FOLDER_CANCEL));
        std::string mismatch;
        EXPECT_EQ(1, AnswerBoxesAndWait(installer, {}, mismatch));
        EXPECT_EQ("", mismatch);
    }
}

}  // namespace
