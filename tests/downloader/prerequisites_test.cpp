// Prerequisites in-process: install conditions, the download list, the check list, the size
// display, the download error message and file hashes.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "downloader/download_context.h"
#include "downloader/download_list.h"
#include "downloader/install_check.h"
#include "downloader/pages/module_page.h"
#include "downloader/pages/stages.h"
#include "host/host.h"
#include "resource.h"
#include "support/http_server.h"
#include "support/saved_registry_key.h"
#include "support/test_support.h"
#include "ui/check_tree.h"
#include "ui/kv_list.h"
#include "ui/tree_view.h"
#include "utils/file_hash.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/profile.h"
#include "utils/registry.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const char kComponentKey[] = "CLSID\\{E486A1E0-C4F0-11d3-80C3-00E0294F87F5}";

// A copy of the version fixture (FileVersion "2.5.10.7") whose version text reads version
// instead: eight characters, patched in place in the UTF-16 resource.
void CopyWithVersion(const std::string& path, const std::string& version) {
    std::string bytes = ReadTextFile(TestBinDir() + "version_fixture.exe");
    const auto wide = [](const std::string& text) {
        std::string out;
        for (char c : text) out += std::string{c, '\0'};
        return out;
    };
    const size_t at = bytes.find(wide("2.5.10.7"));
    ASSERT_NE(std::string::npos, at);
    ASSERT_EQ(8u, version.size());
    bytes.replace(at, 16, wide(version));
    WriteTextFile(path, bytes);
}

class HostFolder : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kHostRegistryKey);
        UniqueHKey key;
        RegCreateKeyExA(HKEY_CURRENT_USER, kHostRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr);
        WriteRegString(key.get(), "InstallPath", host.path());
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CLASSES_ROOT, kComponentKey); }
    const SavedRegistryKey host_key{HKEY_CURRENT_USER, kHostRegistryKey};
    TestFolder host;
};

TEST_F(HostFolder, InstallConditions) {
    WriteTextFile(host / "plain.dll", "no version");
    CopyWithVersion(host / "a.exe", "2.5.10.7");
    CopyWithVersion(host / "b.exe", "1.0.00.0");
    struct Case {
        const char* marleth_version;  // of host\marleth.exe
        const char* condition;
        bool holds;
    };
    const Case cases[] = {
        // The host's major.minor is compared as major.0.minor.
        {"2.0.10.3", "marleth.exe@2.10", true},
        {"2.1.00.0", "marleth.exe@2.10", true},
        {"2.0.9.99", "marleth.exe@2.10", false},
        {"2.0.00.0", "marleth.exe@2", true},
        {"2.0.10.3", "marleth.exe@2.10.99", true},  // a third component is dropped
        {"2.0.10.3", "MARLETH.EXE@2.10", false},    // not the host's name: 2.10.0 vs 2.0.10
        // Other files: the required version as written, first three numbers.
        {"2.0.10.3", "a.exe@2.5.10", true},
        {"2.0.10.3", "a.exe@2.5.11", false},
        {"2.0.10.3", "a.exe@1.2", true},
        {"2.0.10.3", "plain.dll", true},
        {"2.0.10.3", "plain.dll@0.0.1", false},  // no version resource: older than anything
        {"2.0.10.3", "missing.dll", false},
        // Lists: every condition must hold; blanks around fields are trimmed.
        {"2.0.10.3", " a.exe@2.0 | b.exe@1.0 ", true},
        {"2.0.10.3", "a.exe@2.0|b.exe@2.0", false},
        {"2.0.10.3", "a.exe|", false},
        {"2.0.10.3", "a.exe||b.exe", false},
        {"2.0.10.3", "", false},
        {"2.0.10.3", "  \t ", false},
        {"2.0.10.3", "($check:other)", false},
        {"2.0.10.3", "($check:spal)", false},  // the component is not registered
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.condition) + " with marleth.exe " + c.marleth_version);
        CopyWithVersion(host / "marleth.exe", c.marleth_version);
        EXPECT_EQ(c.holds, IsProgramInstalled(c.condition));
    }
}

TEST_F(HostFolder, ComponentConditionNeedsItsServerFile) {
    UniqueHKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT,
                                             (std::string(kComponentKey) + "\\InprocServer32").c_str(),
                                             0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
    WriteRegString(key.get(), "", host / "spal.dll");
    EXPECT_FALSE(IsProgramInstalled("($check:spal)"));
    WriteTextFile(host / "spal.dll", "server");
    EXPECT_TRUE(IsProgramInstalled("($check:spal)"));
    EXPECT_TRUE(IsProgramInstalled("($check:spal]"));  // the closing character is not looked at
    EXPECT_TRUE(IsProgramInstalled("($check:spal:more)"));
    EXPECT_FALSE(IsProgramInstalled("($Check:spal)"));
    EXPECT_FALSE(IsProgramInstalled("($check)"));
}

TEST_F(HostFolder, DownloadListLeavesOutInstalledProgramsAndStopsAtAGap) {
    WriteTextFile(host / "have.exe", "installed");
    const std::string downloaded = TestBinDir() + "downloaded\\";
    ForceFolders(downloaded);
    WriteTextFile(downloaded + "ready.exe", "shipped beside the installer");
    TestFolder dir;
    WriteTextFile(dir / "s.ini",
                  "[SELINSTALLMODULE]\r\n"
                  "DLViewName_0=基盤\r\nDLDownloadFile_0=http://h/x/base.exe?v=1\r\nDLSize_0=3000\r\n"
                  "DLParameter_0=/quiet\r\nDLInstallCheck_0=missing.exe\r\nDLStyle_0=2\r\n"
                  "DLSha256_0=ABCDEF0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789\r\n"
                  "DLViewName_1=済み\r\nDLInstallCheck_1=have.exe\r\nDLSize_1=500\r\n"
                  "DLViewName_2=同梱\r\nDLDownloadFile_2=http://h/ready.exe\r\nDLSize_2=700\r\n"
                  "DLViewName_4=欠番の後\r\n");
    SelectProfile(dir / "s.ini", "SELINSTALLMODULE");
    ModulePage().ModuleStage = 3;
    EXPECT_FALSE(ModulePageInit(dir.path()));
    DeleteTree(downloaded);

    const std::vector<TDownloadListProp>& list = DownloadList();
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ("基盤", list[0].ViewName);
    EXPECT_EQ("http://h/x/base.exe?v=1", list[0].DownloadFile);
    EXPECT_EQ("/quiet", list[0].Parameter);
    EXPECT_EQ(3000, list[0].Size);
    EXPECT_EQ(2, list[0].Style);
    EXPECT_FALSE(list[0].Downloaded);
    EXPECT_EQ("abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789", list[0].Sha256);
    EXPECT_EQ("同梱", list[1].ViewName);
    EXPECT_TRUE(list[1].Downloaded);
    EXPECT_EQ(0, list[1].Size);  // at hand: nothing to fetch
    EXPECT_EQ(3000, TotalDownloadSize());
    EXPECT_TRUE(HasDownloadItems());
    EXPECT_EQ(0, ModulePage().ModuleStage);
    FreeDownloadList();
    EXPECT_FALSE(HasDownloadItems());
}

TEST(DownloadFileName, LastPathPartBeforeTheQuery) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://h/dir/setup.exe", "setup.exe"},
        {"http://h/dir/setup.exe?a=1/2", "setup.exe"},
        {"http://h/", ""},
        {"setup.exe", ""},
        {"http://h/表/セットアップ.exe", "セットアップ.exe"},
        {"http://h/\x83\x5C/a.exe", "a.exe"},  // a second byte that is "\" is no separator
    };
    for (const auto& [url, name] : cases) EXPECT_EQ(name, DownloadFileName(url)) << url;
}

TEST(KvList, GrowsByDoublingAndGetsOnlyInRange) {
    TkvList<int> list;
    int values[41] = {};
    EXPECT_EQ(20, list.Capacity());
    for (int i = 0; i < 20; ++i) EXPECT_EQ(i, list.Add(&values[i]));
    EXPECT_EQ(20, list.Capacity());
    EXPECT_EQ(20, list.Add(&values[20]));
    EXPECT_EQ(40, list.Capacity());
    EXPECT_EQ(&values[20], list.Get(20));
    EXPECT_EQ(nullptr, list.Get(-1));
    EXPECT_EQ(nullptr, list.Get(list.Count()));
    list.Reset();
    EXPECT_EQ(0, list.Count());
    EXPECT_EQ(20, list.Capacity());
}

// The check list on a real tree control, with the page's state images and input handling.
class CheckList : public testing::Test {
protected:
    void SetUp() override {
        InitCommonControls();
        tree_ = CreateWindowExA(0, WC_TREEVIEWA, "", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, tree_);
        images_.reset(BuildCheckImages());
        ASSERT_TRUE(images_);
        AttachCheckTree(tree_, images_.get());
        ModulePage().ModuleStage = 0;
    }
    void TearDown() override { DestroyWindow(tree_); }

    HTREEITEM Line(const char* text, int state) {
        HTREEITEM line = TreeInsertLine(tree_, text);
        if (state != kNoCheck) SetCheckState(tree_, line, state);
        return line;
    }
    void ClickOn(HTREEITEM line) {
        // TVM_GETITEMRECT takes the item in the rectangle's place.
        union {
            RECT rect;
            HTREEITEM item;
        } in_out{};
        in_out.item = line;
        SendMessageA(tree_, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&in_out));
        Click(in_out.rect.left + 2, in_out.rect.top + 2);
    }
    // The button's release is queued first: the tree waits for it inside the press, as it does
    // when it looks for the start of a drag.
    void Click(int x, int y) {
        PostMessageA(tree_, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        SendMessageA(tree_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        MSG message{};
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    HWND tree_ = nullptr;
    UniqueImageList images_;
};

TEST_F(CheckList, ClicksAndSpaceToggleOnlyFreeBoxesWhileChoosing) {
    EXPECT_EQ(4, ImageList_GetImageCount(images_.get()));
    const HTREEITEM checked = Line("checked", kChecked);
    const HTREEITEM unchecked = Line("unchecked", kUnchecked);
    const HTREEITEM fixed = Line("fixed", kFixed);
    const HTREEITEM bare = Line("no box", kNoCheck);
    EXPECT_EQ(kNoCheck, GetCheckState(tree_, bare));
    EXPECT_EQ(kNoCheck, GetCheckState(tree_, nullptr));

    ClickOn(checked);
    ClickOn(unchecked);
    ClickOn(fixed);
    ClickOn(bare);
    EXPECT_EQ(kUnchecked, GetCheckState(tree_, checked));
    EXPECT_EQ(kChecked, GetCheckState(tree_, unchecked));
    EXPECT_EQ(kFixed, GetCheckState(tree_, fixed));
    EXPECT_EQ(kNoCheck, GetCheckState(tree_, bare));
    EXPECT_EQ(bare, TreeGetCaret(tree_));  // the line still becomes current

    // Space toggles the current line; below the last line a click hits nothing.
    TreeSelectCaret(tree_, checked);
    SendMessageA(tree_, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(kChecked, GetCheckState(tree_, checked));
    Click(5, 190);
    EXPECT_EQ(kChecked, GetCheckState(tree_, checked));

    // Once the stages run, the choice is frozen.
    ModulePage().ModuleStage = 1;
    ClickOn(unchecked);
    SendMessageA(tree_, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(kChecked, GetCheckState(tree_, unchecked));
    EXPECT_EQ(kChecked, GetCheckState(tree_, checked));
    ModulePage().ModuleStage = 0;
}

// The SHA-256 of content, written to a file in folder to be hashed.
std::string FileSha256Of(const std::string& content, const TestFolder& folder) {
    WriteTextFile(folder / "hashed.bin", content);
    const std::string digest = FileSha256(folder / "hashed.bin");
    DeleteFileA((folder / "hashed.bin").c_str());
    return digest;
}

// The run's temporary folder (where downloads go) for a scope.
struct UseTempDir {
    explicit UseTempDir(const std::string& path) : saved(DownloadContext().TempDir) {
        DownloadContext().TempDir = path;
    }
    ~UseTempDir() { DownloadContext().TempDir = saved; }
    std::string saved;
};

// The module-selection page opened modeless on a list, as the page sequence would show it.
class ModuleSelection : public testing::Test {
protected:
    void TearDown() override {
        if (page_ != nullptr) DestroyWindow(page_);
        FreeDownloadList();
    }
    void Open(const std::vector<std::pair<int32_t, bool>>& sizes_and_downloaded) {
        for (const auto& [size, downloaded] : sizes_and_downloaded) {
            TDownloadListProp record;
            record.ViewName = "プログラム" + std::to_string(size);
            record.Size = static_cast<uint64_t>(size);
            record.Downloaded = downloaded;
            DownloadList().push_back(record);
        }
        OpenPage();
    }
    // The page on the download list as it stands.
    void OpenPage() {
        ResetModulePage();
        page_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SELINSTALLMODULE),
                                   nullptr, SelInstallModuleDlgProc, 0);
        ASSERT_NE(nullptr, page_);
    }
    std::string Text(int id) const {
        char text[256] = {};
        GetDlgItemTextA(page_, id, text, sizeof text);
        return text;
    }
    bool Visible(int id) const { return (GetWindowLongA(GetDlgItem(page_, id), GWL_STYLE) & WS_VISIBLE) != 0; }
    HWND page_ = nullptr;
};

TEST_F(ModuleSelection, SizeOfTheChosenProgramsInKilobytes) {
    Open({{1000, false}, {2000, false}, {5000, false}});
    char title[128] = {};
    GetWindowTextA(page_, title, sizeof title);
    EXPECT_STREQ("インストールプログラムの選択", title);
    EXPECT_EQ(" ダウンロードするプログラムを選択してください。", Text(IDC_MODULE_PROMPT));
    EXPECT_EQ("7 KB", Text(IDC_MODULE_SIZE));
    EXPECT_TRUE(Visible(IDC_MODULE_SIZE_LABEL));
    SetCheckState(GetDlgItem(page_, IDC_MODULE_TREE), TreeItemAt(2), kUnchecked);
    EXPECT_EQ(3000, UpdateSelectedSize(page_));
    EXPECT_EQ("2 KB", Text(IDC_MODULE_SIZE));
}

// A fetched program's file is held from its check until its program has run: nobody can change,
// replace or delete the file that was checked; a file that fails its check is let go at once.
TEST_F(ModuleSelection, CheckedFilesAreHeldUntilTheyRun) {
    TestHttpServer server;
    HttpResponse response;
    response.body = "the program";
    server.Serve("/dl/good.exe", response);
    server.Serve("/dl/bad.exe", response);
    TestFolder temp;
    const UseTempDir use_temp(temp.path());
    ScopedBoxAnswers answers;
    Open({{10, false}});
    DownloadList()[0].DownloadFile = server.Url("/dl/good.exe");
    DownloadList()[0].Sha256 = FileSha256Of("the program", temp);

    EXPECT_TRUE(DownloadStage(page_));
    EXPECT_TRUE(answers.asked().empty());
    EXPECT_EQ("reading ", AllowedAccess(temp / "good.exe"));
    ReleaseHeldFiles();
    EXPECT_EQ("reading writing renaming deleting ", AllowedAccess(temp / "good.exe"));

    DownloadList()[0].DownloadFile = server.Url("/dl/bad.exe");
    DownloadList()[0].Sha256 = std::string(64, '0');
    EXPECT_FALSE(DownloadStage(page_));
    ASSERT_EQ(1u, answers.asked().size());
    EXPECT_NE(std::string::npos, answers.asked()[0].text.find("のファイルが正しくありません。"));
    EXPECT_EQ("reading writing renaming deleting ", AllowedAccess(temp / "bad.exe"));
}

// Sizes are read, added, shown and passed to the download whole: 3 GB is no negative figure,
// and 4 GiB (which a 32-bit reading takes for nothing) is no program of no size.
TEST_F(ModuleSelection, SizesBeyondTwoGigabytes) {
    struct Case {
        std::vector<const char*> sizes;  // DLSize_n
        uint64_t total;
        const char* shown;     // the chosen size on the page
        const char* progress;  // the counter after the first download (a server that names no
                               // length: the total is the list's size)
    };
    const Case cases[] = {
        {{"3000000000"}, 3000000000, "2929687 KB", "0 K/2929687 K"},
        {{"4294967296"}, 4294967296, "4194304 KB", "0 K/4194304 K"},
        {{"3000000000", "2000000000"}, 5000000000, "4882812 KB", "0 K/2929687 K"},
    };
    TestHttpServer server;
    HttpResponse response;
    response.body = "the program";
    response.content_length = false;
    server.Serve("/dl/big.exe", response);
    TestFolder temp;
    const UseTempDir use_temp(temp.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        std::string setting = "[SELINSTALLMODULE]\r\n";
        for (size_t n = 0; n < c.sizes.size(); ++n) {
            const std::string i = std::to_string(n);
            setting += "DLViewName_" + i + "=大きなプログラム\r\nDLDownloadFile_" + i + "=" +
                       server.Url("/dl/big.exe") + "\r\nDLSize_" + i + "=" + c.sizes[n] + "\r\n";
        }
        WriteTextFile(temp / "s.ini", setting);
        SelectProfile(temp / "s.ini", "SELINSTALLMODULE");
        ModulePageInit(temp.path());
        ASSERT_EQ(c.sizes.size(), DownloadList().size());
        EXPECT_EQ(DigitsToSize(c.sizes[0]), DownloadList()[0].Size);
        EXPECT_EQ(c.total, TotalDownloadSize());
        OpenPage();
        EXPECT_EQ(c.shown, Text(IDC_MODULE_SIZE));
        EXPECT_EQ(c.total, UpdateSelectedSize(page_));

        // Only the first program is fetched: the second is left unchosen.
        if (c.sizes.size() > 1) {
            SetCheckState(GetDlgItem(page_, IDC_MODULE_TREE), TreeItemAt(1), kUnchecked);
        }
        ScopedBoxAnswers answers;
        EXPECT_TRUE(DownloadStage(page_));
        EXPECT_TRUE(answers.asked().empty());
        EXPECT_EQ(c.progress, Text(IDC_MODULE_SIZE));
        ReleaseHeldFiles();
        DestroyWindow(page_);
        page_ = nullptr;
        FreeDownloadList();
    }
}

TEST_F(ModuleSelection, EverythingAtHandAsksOnlyToInstall) {
    Open({{0, true}});
    EXPECT_EQ(" インストールするプログラムを選択してください。", Text(IDC_MODULE_PROMPT));
    EXPECT_FALSE(Visible(IDC_MODULE_SIZE));
    EXPECT_FALSE(Visible(IDC_MODULE_SIZE_LABEL));
}

TEST(DownloadError, MessageAndOfferByKind) {
    TDownloadListProp record;
    record.DownloadFile = "http://h/a.exe";
    const std::pair<TDownloadResult, const char*> cases[] = {
        {{-404, TDownloadFailure::kOther},
         "http://h/a.exeダウンロード中にエラーが発生しました。\r\nファイルが見つかりませんでした。\r\n"
         "サーバで問題が発生している可能性があります。サポート係への問い合わせを行いますか？\r\n"
         "(エラーコード=-404)"},
        {{-407, TDownloadFailure::kOther},
         "http://h/a.exeダウンロード中にエラーが発生しました。\r\n"
         "プロキシーサーバの認証時に失敗しました。正しいIDとパスワードを入力してください。\r\n"
         "(エラーコード=-407)"},
        {{-2, TDownloadFailure::kOther},
         "http://h/a.exeダウンロード中にエラーが発生しました。\r\nファイルのダウンロードに失敗しました。\r\n"
         " エラー解決の為の情報を表示しますか？\r\n(エラーコード=-2)"},
        {{-2, TDownloadFailure::kHostNotFound},
         "http://h/a.exeダウンロード中にエラーが発生しました。\r\n"
         "サーバが見つかりませんでした。アドレスとインターネットへの接続を確かめてください。\r\n"
         " エラー解決の為の情報を表示しますか？\r\n(エラーコード=-2)"},
        {{-3, TDownloadFailure::kCutShort},
         "http://h/a.exeダウンロード中にエラーが発生しました。\r\n"
         "ダウンロードが途中で途切れました。ファイルは不完全です。\r\n"
         " エラー解決の為の情報を表示しますか？\r\n(エラーコード=-3)"},
        {{-999, TDownloadFailure::kOther},
         "http://h/a.exeダウンロード中にエラーが発生しました。\r\n\r\n"
         " エラー解決の為の情報を表示しますか？\r\n(エラーコード=-999)"},
    };
    for (const auto& [result, message] : cases) {
        EXPECT_EQ(message, DownloadErrorMessage(record, result)) << result.code;
    }
}

// A long URL is wrapped into lines of 40 bytes at most, six lines at most, the middle of a
// longer one left out; lines break between characters, never inside one.
TEST(DownloadError, LongUrlsFitTheBox) {
    const std::string host = "http://downloads.example/";
    struct Case {
        std::string url;
        size_t lines;
        bool shortened;
    };
    const Case cases[] = {
        {host + "a.exe", 1, false},
        {host + std::string(11, 'a') + ".exe", 1, false},  // 40 bytes
        {host + std::string(12, 'a') + ".exe", 2, false},
        {host + std::string(100, 'b') + "/x.exe", 4, false},
        {host + std::string(151, 'c') + "表" + std::string(60, 'd') + "/x.exe", 6, true},
        {host + std::string(5000, 'e') + "/表表表表表表表表表表表表表表表表表表表表表表表表表表表表表表表表表表表表表表表表表.exe", 6, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url.size());
        const std::string shown = UrlForMessage(c.url);
        std::vector<std::string> lines;
        for (size_t start = 0;;) {
            const size_t end = shown.find("\r\n", start);
            lines.push_back(shown.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + 2;
        }
        if (c.url.size() <= 40) {
            EXPECT_EQ(c.url, shown);
        }
        EXPECT_EQ(c.lines, lines.size()) << shown;
        std::string joined;
        for (const std::string& line : lines) {
            EXPECT_LE(line.size(), 40u);
            // Each line is whole characters: walking it ends exactly at its end.
            size_t i = 0;
            while (i < line.size()) i += IsLeadByte(static_cast<unsigned char>(line[i])) ? 2 : 1;
            EXPECT_EQ(line.size(), i) << line;
            joined += line;
        }
        const size_t ellipsis = joined.find("…");
        EXPECT_EQ(c.shortened, ellipsis != std::string::npos) << joined;
        if (!c.shortened) {
            EXPECT_EQ(c.url, joined);
            continue;
        }
        // The server and the file's name stay in sight.
        EXPECT_EQ(0u, joined.find(host));
        const std::string end = joined.substr(ellipsis + 2);
        EXPECT_EQ(end, c.url.substr(c.url.size() - end.size()));
        EXPECT_GE(end.size(), 70u);
    }
}

// The file name a download gets must stay a plain file in the folder it goes to.
TEST(DownloadFileName, UnsafeNamesAreRefused) {
    const std::pair<const char*, TDownloadNameProblem> cases[] = {
        {"http://h/dl/setup.exe", TDownloadNameProblem::kSafe},
        {"http://h/dl/setup.exe?from=..\\x", TDownloadNameProblem::kSafe},  // the query is no name
        {"http://h/dl/表.exe", TDownloadNameProblem::kSafe},  // 表 ends in byte 5C
        {"http://h/dl/..%5Cx.exe", TDownloadNameProblem::kSafe},  // a file named as written
        {"http://h/dl/", TDownloadNameProblem::kEmpty},
        {"setup.exe", TDownloadNameProblem::kEmpty},
        {"http://h/dl/..\\..\\x.exe", TDownloadNameProblem::kUnsafe},
        {"http://h/dl/..", TDownloadNameProblem::kUnsafe},
        {"http://h/dl/CON", TDownloadNameProblem::kUnsafe},
        {"http://h/dl/nul.exe", TDownloadNameProblem::kUnsafe},
        {"http://h/dl/com1.txt", TDownloadNameProblem::kUnsafe},
        {"http://h/dl/x.exe:stream", TDownloadNameProblem::kUnsafe},
        {"http://h/dl/x.exe.", TDownloadNameProblem::kUnsafe},
        {"http://h/dl/sub\\x.exe", TDownloadNameProblem::kSeparator},
    };
    for (const auto& [url, problem] : cases) {
        SCOPED_TRACE(url);
        EXPECT_EQ(problem, CheckDownloadFileName(DownloadFileName(url)));
    }
}

TEST(FileHash, Sha256OfAFile) {
    TestFolder dir;
    WriteTextFile(dir / "abc.txt", "abc");
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", FileSha256(dir / "abc.txt"));
    WriteTextFile(dir / "empty.txt", "");
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", FileSha256(dir / "empty.txt"));
    EXPECT_EQ("", FileSha256(dir / "missing.txt"));
    EXPECT_TRUE(IsSha256Text("E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"));
    EXPECT_FALSE(IsSha256Text("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b85"));
    EXPECT_FALSE(IsSha256Text("g3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
}

}  // namespace
