// End-to-end: packages that need other programs first. The real installer reads its download
// list, shows the introductory and module-selection pages, fetches the chosen programs from a
// local HTTP server of the test's own, runs their installers (stand-ins that leave a file behind
// as a real installer leaves its program) and goes on to install the package.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <atomic>

#include "resource.h"
#include "support/e2e_fixture.h"
#include "support/http_server.h"
#include "support/zip_writer.h"
#include "utils/file_hash.h"
#include "utils/files.h"
#include "utils/text.h"

namespace {

const char kModuleTitle[] = "インストールプログラムの選択";
const char kStallVariable[] = "MARLETH_DOWNLOAD_STALL_MS";

// Asks a window of the installer for an answer (WM_NULL) again and again from a thread of its
// own while it lives, and counts the answers.
class AnswerProbe {
public:
    explicit AnswerProbe(HWND window) : window_(window) {
        stop_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        thread_.reset(CreateThread(nullptr, 0, &AnswerProbe::Run, this, 0, nullptr));
    }
    ~AnswerProbe() { Stop(); }
    AnswerProbe(const AnswerProbe&) = delete;
    AnswerProbe& operator=(const AnswerProbe&) = delete;

    void Stop() {
        if (!thread_) return;
        SetEvent(stop_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }
    int answers() const { return answers_; }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<AnswerProbe*>(self)->Probe();
        return 0;
    }
    void Probe() {
        do {
            DWORD_PTR result = 0;
            const bool answered = SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, 5000,
                                                      &result) != 0;
            if (!answered && !IsWindow(window_)) return;
            if (answered) ++answers_;
        } while (WaitForSingleObject(stop_.get(), 10) == WAIT_TIMEOUT);
    }

    HWND window_;
    std::atomic<int> answers_{0};
    UniqueHandle stop_;
    UniqueHandle thread_;
};

// The files named name anywhere under folder.
int CountFilesNamed(const std::string& folder, const std::string& name) {
    WIN32_FIND_DATAA found;
    UniqueFindHandle find(FindFirstFileA((folder + "*").c_str(), &found));
    if (!find) return 0;
    int count = 0;
    do {
        const std::string entry = found.cFileName;
        if (entry == "." || entry == "..") continue;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            count += CountFilesNamed(folder + entry + "\\", name);
        } else if (entry == name) {
            ++count;
        }
    } while (FindNextFileA(find.get(), &found));
    return count;
}

// One program of the download list.
struct Prerequisite {
    Prerequisite(std::string name, int32_t size, int style, bool makes_condition = true,
                 std::string sha256 = "")
        : name(std::move(name)), size(size), style(style), makes_condition(makes_condition),
          sha256(std::move(sha256)) {}
    std::string name;      // served at /dl/NAME.exe; its installer leaves host\NAME.ok
    int32_t size;          // DLSize_
    int style;             // DLStyle_
    bool makes_condition;  // the installer leaves the file its condition asks for
    std::string sha256;    // DLSha256_
};

class PrerequisitesE2E : public InstallerE2E {
protected:
    void SetUp() override {
        InstallerE2E::SetUp();
        ASSERT_TRUE(server.listening());
        setup_ = ReadTextFile(TestBinDir() + "recorder.exe");
        ForceFolders(dir / "host");
    }

    std::string Host() const { return dir / "host\\"; }

    // A plug-in package whose Dialogs show the introductory, module-selection and folder pages,
    // listing the programs; each one's installer is served unless the test says otherwise.
    std::string BuildWith(const std::vector<Prerequisite>& programs) {
        std::string list = "[SELINSTALLMODULE]\r\n";
        for (size_t n = 0; n < programs.size(); ++n) {
            const Prerequisite& p = programs[n];
            const std::string k = IntToText(static_cast<int32_t>(n));
            list += "DLViewName_" + k + "=" + p.name + "のプログラム\r\n"
                    "DLDownloadFile_" + k + "=" + server.Url("/dl/" + p.name + ".exe") + "\r\n"
                    "DLSize_" + k + "=" + IntToText(p.size) + "\r\n"
                    "DLStyle_" + k + "=" + IntToText(p.style) + "\r\n"
                    "DLInstallCheck_" + k + "=" + p.name + ".ok\r\n"
                    "DLParameter_" + k + "=--create " + Host() +
                    (p.makes_condition ? p.name : p.name + "-other") + ".ok\r\n";
            if (!p.sha256.empty()) list += "DLSha256_" + k + "=" + p.sha256 + "\r\n";
            HttpResponse response;
            response.body = setup_;
            server.Serve("/dl/" + p.name + ".exe", response);
        }
        return Build(PluginSetting("Dialogs=FIRST,SELINSTALLMODULE,FOLDERSELECT\r\n" + list),
                     PluginFiles());
    }

    // Starts the installer and goes through the first question and the introductory page.
    FoundWindow OpenModulePage(DrivenProcess& installer) {
        const FoundWindow box = installer.WaitForBox(kConfirm);
        DrivenProcess::Press(box, IDYES);
        const FoundWindow first = installer.WaitForWindow("#32770", "Ombrevineのインストール開始");
        EXPECT_NE(nullptr, first.window) << installer.Describe();
        if (first.window == nullptr) return {};
        EXPECT_EQ("テストを動作させる為にはOmbrevineのインストールを行う必要があります。\r\n\r\n"
                  "インストールを開始するにはインターネットに接続した状態で[次へ]ボタンを押してください。\r\n"
                  "インストールの中断を行う場合は[中止]ボタンを押してください。",
                  ControlText(Control(first, IDC_FIRST_TEXT)));
        Click(Control(first, IDC_FIRST_NEXT));
        const FoundWindow page = installer.WaitForWindow("#32770", kModuleTitle);
        EXPECT_NE(nullptr, page.window) << installer.Describe();
        return page;
    }

    // Presses the line at the position with the mouse, on its text (the release queued behind
    // the press): the line's box toggles and the line becomes the current one.
    static void ClickLine(const FoundWindow& page, int position) {
        HWND tree = Control(page, IDC_MODULE_TREE);
        const int height = static_cast<int>(SendMessageA(tree, TVM_GETITEMHEIGHT, 0, 0));
        const LPARAM at = MAKELPARAM(40, height * position + height / 2);
        PostMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageA(tree, WM_LBUTTONUP, 0, at);
    }

    static bool ShowsSize(const FoundWindow& page, const std::string& text) {
        return WaitFor([&] { return ControlText(Control(page, IDC_MODULE_SIZE)) == text; }, 10000);
    }

    // The rest of the run after the pages: the plug-in's closing box, then the exit code.
    int Finish(DrivenProcess& installer, const std::vector<ExpectedBox>& boxes) {
        std::string mismatch;
        const int code = AnswerBoxesAndWait(installer, boxes, mismatch);
        EXPECT_EQ("", mismatch);
        return code;
    }

    TestHttpServer server;
    std::string setup_;  // the stand-in installer's bytes
};

TEST_F(PrerequisitesE2E, ChosenProgramsAreFetchedInstalledAndThePackageFollows) {
    const std::string exe = BuildWith({{"first", 10240, 0},
                                       {"second", 20480, 1},
                                       {"fixed", 5120, 2},
                                       {"boxless", 40960, 5}});
    const std::string log = dir / "run.log";
    DrivenProcess installer(exe, {"/log=" + log});
    const FoundWindow page = OpenModulePage(installer);
    ASSERT_NE(nullptr, page.window);
    EXPECT_EQ(" ダウンロードするプログラムを選択してください。", ControlText(Control(page, IDC_MODULE_PROMPT)));
    // Checked, fixed and chosen: 10 + 5 KB; the line without a box never counts.
    EXPECT_TRUE(ShowsSize(page, "15 KB"));
    ClickLine(page, 1);
    EXPECT_TRUE(ShowsSize(page, "35 KB"));
    PressKey(Control(page, IDC_MODULE_TREE), VK_SPACE);  // the clicked line is current
    EXPECT_TRUE(ShowsSize(page, "15 KB"));
    ClickLine(page, 0);
    EXPECT_TRUE(ShowsSize(page, "5 KB"));
    ClickLine(page, 2);  // fixed: stays chosen
    ClickLine(page, 3);  // no box: nothing to choose
    ClickLine(page, 0);
    EXPECT_TRUE(ShowsSize(page, "15 KB"));

    // The second program's answer waits half-way, so that the progress can be read.
    HttpResponse held;
    held.body = setup_;
    held.hold_after = setup_.size() / 2;
    server.Serve("/dl/fixed.exe", held);
    Click(Control(page, IDC_MODULE_NEXT));
    ASSERT_TRUE(server.WaitUntilHeld("/dl/fixed.exe"));
    const std::string total = " K/" + IntToText(static_cast<int32_t>(setup_.size() / 1024)) + " K";
    EXPECT_TRUE(WaitFor([&] {
        const std::string counter = ControlText(Control(page, IDC_MODULE_SIZE));
        return counter.size() > total.size() && counter.compare(counter.size() - total.size(), total.size(), total) == 0 &&
               counter[0] != '0';
    }, 10000)) << ControlText(Control(page, IDC_MODULE_SIZE));
    EXPECT_EQ("必要なプログラムをダウンロード中です。", ControlText(Control(page, IDC_MODULE_PROMPT)));
    EXPECT_TRUE(IsWindowVisible(Control(page, IDC_MODULE_PROGRESS)));
    EXPECT_FALSE(IsWindowEnabled(Control(page, IDC_MODULE_NEXT)));
    EXPECT_GT(SendMessageA(Control(page, IDC_MODULE_PROGRESS), PBM_GETPOS, 0, 0), 0);
    server.Release("/dl/fixed.exe");

    // Both installers run; the folder page steps aside; the package is installed.
    EXPECT_EQ(0, Finish(installer, {{kConfirm, "\"テスト\"プラグインのインストールが終了しました。", IDOK}}));
    EXPECT_EQ(1, server.Requests("/dl/first.exe"));
    EXPECT_EQ(1, server.Requests("/dl/fixed.exe"));
    EXPECT_EQ(0, server.Requests("/dl/second.exe"));
    EXPECT_EQ(0, server.Requests("/dl/boxless.exe"));
    EXPECT_TRUE(FileExists(Host() + "first.ok"));
    EXPECT_TRUE(FileExists(Host() + "fixed.ok"));
    EXPECT_EQ("plug-in", ReadTextFile(Out() + "plugin.dll"));
    // Each installer ran from its own quoted path, with its parameter.
    const std::string record = ReadTextFile(dir / "record.txt");
    EXPECT_NE(std::string::npos, record.find("first.exe\" --create " + Host() + "first.ok")) << record;
    // The log tells each download, its check and its program's run.
    const std::string text = ReadTextFile(log);
    for (const std::string& line :
         {"ダウンロード " + server.Url("/dl/fixed.exe"),
          "ダウンロード 結果 0 " + std::to_string(setup_.size()) + " バイト",
          std::string("SHA-256 "), "fixed.exe\" --create " + Host() + "fixed.ok 終了コード 0 インストール済み",
          std::string("ページ SELINSTALLMODULE 次へ")}) {
        EXPECT_NE(std::string::npos, text.find(line)) << line << "\n" << text;
    }
}

TEST_F(PrerequisitesE2E, CancelDuringTheSecondOfThreeDownloadsStopsThere) {
    const std::string exe = BuildWith({{"one", 1024, 0}, {"two", 1024, 0}, {"three", 1024, 0}});
    HttpResponse held;
    held.body = setup_;
    held.hold_after = setup_.size() / 2;
    server.Serve("/dl/two.exe", held);
    DrivenProcess installer(exe, {});
    const FoundWindow page = OpenModulePage(installer);
    ASSERT_NE(nullptr, page.window);
    Click(Control(page, IDC_MODULE_NEXT));
    ASSERT_TRUE(server.WaitUntilHeld("/dl/two.exe"));
    Click(Control(page, IDC_MODULE_CANCEL));
    server.Release("/dl/two.exe");
    EXPECT_EQ(1, Finish(installer, {{kError, "ダウンロードを中止しました。", IDOK}}));
    EXPECT_EQ(0, server.Requests("/dl/three.exe"));
    EXPECT_FALSE(FileExists(Host() + "one.ok"));  // nothing was run
    EXPECT_FALSE(PathExists(Out()));
}

TEST_F(PrerequisitesE2E, FailuresStopTheInstallation) {
    struct Case {
        const char* name;
        Prerequisite program;
        HttpResponse answer;
        ExpectedBox box;  // a text beginning with "@" begins with the server's address
        bool ran_installer;
    };
    HttpResponse missing;
    missing.status = 404;
    HttpResponse served;
    served.body = ReadTextFile(TestBinDir() + "recorder.exe");
    const Case cases[] = {
        {"404", {"gone", 1024, 0}, missing,
         {kConfirm, "@/dl/gone.exeダウンロード中にエラーが発生しました。\r\nファイルが見つかりませんでした。\r\n"
                    "サーバで問題が発生している可能性があります。サポート係への問い合わせを行いますか？\r\n"
                    "(エラーコード=-404)", IDNO}, false},
        {"installer that installs nothing", {"dud", 1024, 0, false}, served,
         {kConfirm, "インストールを中断しました。", IDOK}, true},
        {"altered download", {"bad", 1024, 0, true, std::string(64, '0')}, served,
         {kError, "badのプログラムのファイルが正しくありません。\r\n"
                  "配布元のファイルと一致しないため、実行を中止しました。", IDOK}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string exe = BuildWith({c.program});
        server.Serve("/dl/" + c.program.name + ".exe", c.answer);
        ExpectedBox box = c.box;
        if (box.text[0] == '@') box.text = server.Url("") + box.text.substr(1);
        DrivenProcess installer(exe, {});
        const FoundWindow page = OpenModulePage(installer);
        ASSERT_NE(nullptr, page.window);
        Click(Control(page, IDC_MODULE_NEXT));
        EXPECT_EQ(1, Finish(installer, {box}));
        EXPECT_FALSE(PathExists(Out()));
        EXPECT_EQ(c.ran_installer, PathExists(dir / "record.txt"));
        DeleteFileA((dir / "record.txt").c_str());
    }
}

// Servers that misbehave, one row each: the page answers within a tenth of a second the whole
// time, the user is told what happened, the installation ends with 1, the program is not run and
// its file is gone before the box shows. The stall bound is shortened for the test.
TEST_F(PrerequisitesE2E, MisbehavingServersNeverFreezeThePage) {
    enum class Action { kWait, kCancelButton, kCloseBox };
    struct Case {
        const char* name;
        HttpResponse answer;
        Action action;
        ExpectedBox box;  // the text after the server's address; "" for the stop's own box
    };
    const std::string body = setup_;
    auto answer = [&](auto change) {
        HttpResponse response;
        response.body = body;
        change(response);
        return response;
    };
    const std::string offer = "\r\n エラー解決の為の情報を表示しますか？\r\n(エラーコード=";
    const std::string failed = "/dl/prog.exeダウンロード中にエラーが発生しました。\r\n";
    const Case cases[] = {
        {"stall before the answer", answer([](HttpResponse& r) { r.hold_head = true; }), Action::kWait,
         {kConfirm, failed + "サーバから応答がありませんでした。" + offer + "-2)", IDNO}},
        {"stall in the body", answer([&](HttpResponse& r) { r.hold_after = body.size() / 2; }),
         Action::kWait,
         {kConfirm, failed + "サーバからのデータが途絶えたため、ダウンロードを中止しました。" + offer + "-3)", IDNO}},
        {"closed in the body", answer([&](HttpResponse& r) { r.close_after = body.size() / 2; }),
         Action::kWait,
         {kConfirm, failed + "ダウンロードが途中で途切れました。ファイルは不完全です。" + offer + "-3)", IDNO}},
        // Without a length the end of the connection ends the body (the list's size does not
        // count); sent in chunks, its end cannot be confirmed without a SHA-256.
        {"chunks, closed before the last",
         answer([&](HttpResponse& r) { r.close_after = body.size() / 2; r.chunked = true; }),
         Action::kWait,
         {kConfirm, failed + "サーバが分割形式で送ってきたため、ファイルが最後まで届いたか確かめられませんでした。" +
                        offer + "-3)", IDNO}},
        {"redirect loop",
         answer([](HttpResponse& r) { r.status = 302; r.extra_headers = "Location: /dl/prog.exe\r\n"; }),
         Action::kWait,
         {kConfirm, failed + "サーバの転送先の指示が多すぎるため、ダウンロードを中止しました。" + offer + "-302)", IDNO}},
        {"407 without a proxy", answer([](HttpResponse& r) { r.status = 407; }), Action::kWait,
         {kError, failed + "プロキシーサーバの認証時に失敗しました。正しいIDとパスワードを入力してください。\r\n"
                  "(エラーコード=-407)", IDOK}},
        {"gzip", answer([](HttpResponse& r) { r.extra_headers = "Content-Encoding: gzip\r\n"; }),
         Action::kWait,
         {kConfirm, failed + "サーバが圧縮した形式で送ってきたため、ファイルを受け取れませんでした。" + offer + "-3)", IDNO}},
        {"slow trickle, cancel button", answer([](HttpResponse& r) { r.trickle_ms = 200; }),
         Action::kCancelButton, {kError, "", IDOK}},
        {"slow trickle, close box", answer([](HttpResponse& r) { r.trickle_ms = 200; }),
         Action::kCloseBox, {kError, "", IDOK}},
    };
    const ScopedVariable stall(kStallVariable, "1500");
    const std::string temp = dir / "tmp\\";
    ForceFolders(temp);
    const ScopedVariable tmp("TMP", temp);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string exe = BuildWith({{"prog", static_cast<int32_t>(body.size()), 0}});
        server.Serve("/dl/prog.exe", c.answer);
        DrivenProcess installer(exe, {});
        const FoundWindow page = OpenModulePage(installer);
        ASSERT_NE(nullptr, page.window);
        AnswerProbe probe(page.window);
        Click(Control(page, IDC_MODULE_NEXT));
        if (c.action != Action::kWait) {
            // Some bytes have come and are counted.
            ASSERT_TRUE(server.WaitUntilHeld("/dl/prog.exe"));
            EXPECT_TRUE(WaitFor([&] {
                return ControlText(Control(page, IDC_MODULE_SIZE)).compare(0, 4, "0 K/") == 0;
            }, 10000));
            if (c.action == Action::kCancelButton) {
                Click(Control(page, IDC_MODULE_CANCEL));
            } else {
                PostMessageA(page.window, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
        }
        // The server holds the body for good: a stop that waited for it would end in the stall
        // bound's message, not in the stop's own.
        const FoundWindow box = installer.WaitForBox(c.box.caption);
        ASSERT_NE(nullptr, box.window) << installer.Describe();
        probe.Stop();
        const std::string text = c.box.text.empty() ? "ダウンロードを中止しました。" : server.Url("") + c.box.text;
        EXPECT_EQ(text, box.text);
        EXPECT_EQ(0, CountFilesNamed(temp, "prog.exe")) << "the partial file was left";
        // The page answered while the network was busy; how soon it answers (a tenth of a second
        // a user must get) is measured by bench/download_bench.sh, not here, since a loaded
        // machine may delay any answer.
        EXPECT_GT(probe.answers(), 0);
        DrivenProcess::Press(box, c.box.button);
        EXPECT_EQ(1, installer.WaitForExit());
        EXPECT_FALSE(PathExists(dir / "record.txt")) << "the program was run";
        EXPECT_FALSE(PathExists(Out()));
    }
}

// A download whose file name would leave the folder it is fetched to, or name a device, is
// refused before anything is fetched, the other programs' downloads included. mkpackage refuses
// such a name, so the package is written as another tool might write it.
TEST_F(PrerequisitesE2E, UnsafeDownloadFileNamesAreRefusedBeforeAnythingIsFetched) {
    for (const std::string name : {"..\\..\\evil.exe", "CON", "nul.exe"}) {
        SCOPED_TRACE(name);
        const std::string url = server.Url("/dl/" + name);
        const std::string setting =
            PluginSetting("Dialogs=SELINSTALLMODULE\r\n") + "[SELINSTALLMODULE]\r\n"
            "DLViewName_0=safe\r\nDLDownloadFile_0=" + server.Url("/dl/safe.exe") + "\r\n"
            "DLInstallCheck_0=safe.ok\r\nDLParameter_0=--create " + Host() + "safe.ok\r\n"
            "DLViewName_1=unsafe\r\nDLDownloadFile_1=" + url + "\r\n"
            "DLInstallCheck_1=unsafe.ok\r\nDLParameter_1=--create " + Host() + "unsafe.ok\r\n";
        const std::string exe = dir / "pkg.exe";
        ASSERT_TRUE(WriteZip(exe, {{"plugin.dll", "plug-in"}, {"$preextractdir$/_$$$setting$$$_.ini", setting}},
                             TestBinDir() + "setup.exe"));
        HttpResponse served;
        served.body = setup_;
        server.Serve("/dl/safe.exe", served);
        server.Serve("/dl/" + name, served);
        DrivenProcess installer(exe, {});
        DrivenProcess::Press(installer.WaitForBox(kConfirm), IDYES);
        const FoundWindow page = installer.WaitForWindow("#32770", kModuleTitle);
        ASSERT_NE(nullptr, page.window) << installer.Describe();
        Click(Control(page, IDC_MODULE_NEXT));
        EXPECT_EQ(1, Finish(installer, {{kError, "unsafe"
            "のダウンロード先のアドレスが示すファイル名は使えないため、インストールを中止しました。\r\n" + url, IDOK}}));
        EXPECT_EQ(0, server.Requests("/dl/safe.exe"));
        EXPECT_EQ(0, server.Requests("/dl/" + name));
        EXPECT_FALSE(PathExists(dir / "record.txt"));
        EXPECT_FALSE(PathExists(dir / "evil.exe"));
        EXPECT_FALSE(PathExists(Out()));
    }
}

TEST_F(PrerequisitesE2E, ProgramsShippedInTheDownloadedFolderAreNotFetched) {
    const std::string exe = BuildWith({{"shipped", 4096, 0, true, FileSha256(TestBinDir() + "recorder.exe")}});
    ForceFolders(dir / "downloaded");
    WriteTextFile(dir / "downloaded\\shipped.exe", setup_);
    DrivenProcess installer(exe, {});
    // Nothing to fetch: the introductory page skips itself and the choice is only to install.
    const FoundWindow box = installer.WaitForBox(kConfirm);
    DrivenProcess::Press(box, IDYES);
    const FoundWindow page = installer.WaitForWindow("#32770", kModuleTitle);
    ASSERT_NE(nullptr, page.window) << installer.Describe();
    EXPECT_EQ(" インストールするプログラムを選択してください。", ControlText(Control(page, IDC_MODULE_PROMPT)));
    EXPECT_FALSE(IsWindowVisible(Control(page, IDC_MODULE_SIZE)));
    Click(Control(page, IDC_MODULE_NEXT));
    EXPECT_EQ(0, Finish(installer, {{kConfirm, "\"テスト\"プラグインのインストールが終了しました。", IDOK}}));
    EXPECT_EQ(0, server.Requests("/dl/shipped.exe"));
    EXPECT_TRUE(FileExists(Host() + "shipped.ok"));
}

}  // namespace
