// The wizard tour: installs a package interactively and screenshots every step.
//   wizard_tour.exe PACKAGE.exe SETTING.ini SCREENSHOT_FOLDER [SERVER_URL]
// It answers each step as a user would and saves the window of each as a PNG file, numbered in
// the order taken. SETTING.ini is the package's setting file (Shift-JIS): the tour takes the
// package's name and kind, the pages to expect and the programs of its download list from it;
// the programs must all be missing, so that the installer offers every one of them.
// SERVER_URL is the local server that serves those programs (tests/tour/prerequisite_server.py)
// when it holds one download half-way: the tour then pictures the download stage and lets the
// download go on. Exit code 0 when every step was seen and the installer exited 0.
#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "res/resource.h"
#include "support/installer_driver.h"
#include "tour/screenshot.h"
#include "utils/files.h"
#include "utils/profile.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

// Every wait for a state gives up after this long.
const DWORD kTimeoutMs = 30000;
// The wait for the page to show a held download: shorter than the server's hold (15 s), so that
// a failure shows the page as it stood during the hold.
const DWORD kHeldWaitMs = 10000;

const char kConfirmCaption[] = "確認";
const char kDialogClass[] = "#32770";
const char kFolderPageTitle[] = "インストールフォルダの設定";
const char kModulePageTitle[] = "インストールプログラムの選択";
const char kFirstPageTitleSuffix[] = "のインストール開始";
const char kChooseDownloads[] = " ダウンロードするプログラムを選択してください。";
const char kDownloading[] = "必要なプログラムをダウンロード中です。";

// The installer's kinds of package ([options] InstallMode).
const int kCharacterMode = 0;
const int kPluginMode = 1;

// Check styles of the download list (DLStyle_n); any other style draws no box.
const int kStyleChecked = 0;
const int kStyleUnchecked = 1;
const int kStyleFixed = 2;

// One program of the setting file's download list ([SELINSTALLMODULE]).
struct Program {
    std::string name;  // DLViewName_n, the text of its line
    int size = 0;      // DLSize_n
    int style = 0;     // DLStyle_n
};

// What the tour needs to know of the package, from its setting file.
struct Package {
    std::string app_name;
    int install_mode = kCharacterMode;
    std::string platform_name;  // [options] Marlethware
    std::string dialogs;
    std::vector<Program> programs;
};

// --- the tour ------------------------------------------------------------------------------

// Sends a message that asks a control of the installer for a number; 0 when it does not answer.
LRESULT Ask(HWND control, UINT message) {
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(control, message, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &answer);
    return static_cast<LRESULT>(answer);
}

// The text the system keeps for a window of another process, read without a message to it: the
// module-selection page's thread does not answer messages while it waits for the network.
std::string StoredText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return NarrowText(text, kJapaneseCodePage);
}

// A GET request to the local server: the HTTP status (0 when there is no answer) and the body.
int HttpGet(const std::string& url, std::string& body) {
    body.clear();
    // Direct: nothing may stand between the tour and the local server. The session is declared
    // before the request, so the request is closed first.
    UniqueInternet session(
        InternetOpenA("wizard_tour", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session) return 0;
    UniqueInternet request(InternetOpenUrlA(session.get(), url.c_str(), nullptr, 0,
                                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                            0));
    if (!request) return 0;
    DWORD status = 0;
    DWORD size = sizeof status;
    HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                   nullptr);
    char block[256];
    DWORD read = 0;
    while (InternetReadFile(request.get(), block, sizeof block, &read) && read > 0) {
        body.append(block, read);
    }
    return static_cast<int>(status);
}

// The size display's text for a number of bytes, as the module-selection page writes it.
std::string SizeText(int bytes) {
    return IntToText(bytes / 1024) + " KB";
}

// Whether a line of the given style is chosen when the page opens.
bool ChosenAtFirst(int style) {
    return style == kStyleChecked || style == kStyleFixed;
}

class TourFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Tour {
public:
    Tour(DrivenProcess& process, std::string folder)
        : process_(process), photographer_(std::move(folder)) {}

    // The box of the installer's /? (what an administrator reads first).
    void Switches(const std::string& program) {
        std::string error;
        std::printf("switches box: ");
        if (!photographer_.ShootSwitches(program, error)) Fail("switches box", error);
    }

    // "Install the character (the plug-in, ...)?" - yes.
    void Question(const Package& package) {
        const std::string step = "first question";
        const std::string prefix = package.install_mode == kCharacterMode ? "キャラクター" : "";
        const FoundWindow box = WaitForBox(
            step, prefix + "\"" + package.app_name + "\"をインストールします。\r\nよろしいですか？");
        Shoot(step, box.window, "question");
        DrivenProcess::Press(box, IDYES);
        WaitUntilGone(step, box.window);
    }

    // The agreement page. Agree is enabled only once the text has been read to its end, so the
    // tour pages down through the text as a user would and then agrees.
    void Agreement(const std::string& app_name) {
        const std::string step = "agreement page";
        const FoundWindow page = WaitForDialog(step, app_name);
        const HWND text = NeedControl(step, page, IDC_LICENSE_TEXT);
        const HWND agree = NeedControl(step, page, IDC_LICENSE_AGREE);
        NeedControl(step, page, IDC_LICENSE_REFUSE);
        const LRESULT lines = Ask(text, EM_GETLINECOUNT);
        std::printf("%s: the agreement text has %ld lines\n", step.c_str(),
                    static_cast<long>(lines));
        if (ControlText(text).empty()) Fail(step, "the agreement text is empty");
        if (IsWindowEnabled(agree)) Fail(step, "\"同意する\" is enabled before the text was scrolled");
        Shoot(step, page.window, "agreement");

        // One page down per poll, released like a click on the scroll bar; at the end of the text
        // (the first visible line no longer moves) also the scroll bar's "bottom".
        LRESULT first_line = -1;
        const bool enabled = WaitFor([&] {
            if (IsWindowEnabled(agree)) return true;
            const LRESULT now = Ask(text, EM_GETFIRSTVISIBLELINE);
            const WPARAM action = now == first_line ? SB_BOTTOM : SB_PAGEDOWN;
            first_line = now;
            PostMessageA(text, WM_VSCROLL, action, 0);
            PostMessageA(text, WM_VSCROLL, SB_ENDSCROLL, 0);
            return false;
        });
        if (!enabled) Fail(step, "\"同意する\" stayed disabled after scrolling to the end of the text");
        Shoot(step, page.window, "agreement-scrolled");
        Click(agree);
        WaitUntilGone(step, page.window);
    }

    // The install-folder page: keep the folder it proposes.
    void Folder() {
        const std::string step = "install-folder page";
        const FoundWindow page = WaitForDialog(step, kFolderPageTitle);
        const HWND path = NeedControl(step, page, IDC_FOLDER_PATH);
        NeedControl(step, page, IDC_FOLDER_OK);
        NeedControl(step, page, IDC_FOLDER_CANCEL);
        NeedControl(step, page, IDC_FOLDER_BROWSE);
        const std::string folder = ControlText(path);
        if (folder.empty()) Fail(step, "the folder field is empty");
        std::printf("%s: install folder %s\n", step.c_str(), folder.c_str());
        Shoot(step, page.window, "folder");
        DrivenProcess::Press(page, IDC_FOLDER_OK);
        WaitUntilGone(step, page.window);
    }

    // The progress dialog, taken as soon as it is there. Its thread is busy extracting (and
    // then waits without handling messages), so it cannot be asked to repaint first.
    void Progress(const std::string& app_name) {
        const std::string step = "progress dialog";
        const FoundWindow dialog = WaitForDialog(step, "\"" + app_name + "\" インストール中");
        Shoot(step, dialog.window, "progress", false);
    }

    // The closing box: for a character "installed; start it?" - no; otherwise "installed" - OK.
    void Finished(const Package& package) {
        const std::string step = "closing box";
        const std::string name = "\"" + package.app_name + "\"";
        const bool character = package.install_mode == kCharacterMode;
        const std::string text =
            character ? name + "のインストールは正常に終了しました。\r\n起動しますか？"
            : package.install_mode == kPluginMode ? name + "プラグインのインストールが終了しました。"
                                                  : name + "インストールが終了しました。";
        const FoundWindow box = WaitForBox(step, text);
        Shoot(step, box.window, "finished");
        DrivenProcess::Press(box, character ? IDNO : IDOK);
        WaitUntilGone(step, box.window);
    }

    // The introductory page: it says what has to be installed first; next.
    void First(const Package& package) {
        const std::string step = "introductory page";
        const FoundWindow page =
            WaitForDialog(step, package.platform_name + kFirstPageTitleSuffix);
        const HWND text = NeedControl(step, page, IDC_FIRST_TEXT);
        NeedControl(step, page, IDC_FIRST_NEXT);
        NeedControl(step, page, IDC_FIRST_CANCEL);
        if (ControlText(text).rfind(package.app_name, 0) != 0) {
            Fail(step, "the text does not begin with the package's name: " + ControlText(text));
        }
        Shoot(step, page.window, "first");
        DrivenProcess::Press(page, IDC_FIRST_NEXT);
        WaitUntilGone(step, page.window);
    }

    // The module-selection page: as it opens; with one line's box clicked off (or on) and back,
    // the size display following each click; while the server holds a download (when the tour
    // knows the server); then it waits until the programs are fetched and installed.
    void Modules(const std::vector<Program>& programs, const std::string& server) {
        const std::string step = "module-selection page";
        const FoundWindow page = WaitForDialog(step, kModulePageTitle);
        const HWND prompt = NeedControl(step, page, IDC_MODULE_PROMPT);
        const HWND tree = NeedControl(step, page, IDC_MODULE_TREE);
        NeedControl(step, page, IDC_MODULE_PROGRESS);
        NeedControl(step, page, IDC_MODULE_SIZE_LABEL);
        const HWND size = NeedControl(step, page, IDC_MODULE_SIZE);
        NeedControl(step, page, IDC_MODULE_NEXT);
        NeedControl(step, page, IDC_MODULE_CANCEL);
        if (ControlText(prompt) != kChooseDownloads) {
            Fail(step, "the prompt says \"" + ControlText(prompt) + "\"");
        }
        const LRESULT lines = Ask(tree, TVM_GETCOUNT);
        if (lines != static_cast<LRESULT>(programs.size())) {
            Fail(step, "the list has " + std::to_string(lines) + " lines for " +
                           std::to_string(programs.size()) + " programs");
        }
        int chosen = 0;
        for (const Program& program : programs) {
            if (ChosenAtFirst(program.style)) chosen += program.size;
        }
        WaitForSize(step, size, SizeText(chosen));
        Shoot(step, page.window, "modules");

        // The first line a user may change: its box goes off (or on) and comes back.
        const auto changeable =
            std::find_if(programs.begin(), programs.end(), [](const Program& program) {
                return program.style == kStyleChecked || program.style == kStyleUnchecked;
            });
        if (changeable != programs.end()) {
            const int position = static_cast<int>(changeable - programs.begin());
            const bool was_checked = changeable->style == kStyleChecked;
            std::printf("%s: clicking the line \"%s\" twice\n", step.c_str(),
                        changeable->name.c_str());
            ClickLine(tree, position);
            WaitForSize(step, size,
                        SizeText(chosen + (was_checked ? -changeable->size : changeable->size)));
            Shoot(step, page.window, was_checked ? "modules-unchecked" : "modules-checked");
            ClickLine(tree, position);
            WaitForSize(step, size, SizeText(chosen));
            Shoot(step, page.window, "modules-restored");
        } else {
            std::printf("%s: no line the user may change\n", step.c_str());
        }

        DrivenProcess::Press(page, IDC_MODULE_NEXT);
        if (server.empty()) {
            std::printf("%s: no server that holds a download: no picture of the download stage\n",
                        step.c_str());
        } else {
            DownloadUnderWay(page, prompt, size, server);
        }
        // The page fetches and installs the chosen programs, then ends itself; a message box
        // meanwhile says why it cannot (a failed download, an installer that installed nothing).
        WaitUntilGoneWithoutBoxes(step, page.window);
    }

private:
    [[noreturn]] void Fail(const std::string& step, const std::string& what) const {
        const std::string windows = process_.Running() ? process_.Describe() : "";
        throw TourFailure(step + ": " + what + "\nopen windows of the installer:\n" +
                          (windows.empty() ? "(none)\n" : windows));
    }

    FoundWindow WaitForBox(const std::string& step, const std::string& text) const {
        const FoundWindow box = process_.WaitForBox(kConfirmCaption, kTimeoutMs);
        if (box.window == nullptr) {
            Fail(step, "no message box \"" + std::string(kConfirmCaption) + "\" saying \"" +
                           text + "\"");
        }
        if (box.text != text) Fail(step, "the box says \"" + box.text + "\", not \"" + text + "\"");
        return box;
    }

    FoundWindow WaitForDialog(const std::string& step, const std::string& title) const {
        const FoundWindow dialog = process_.WaitForWindow(kDialogClass, title, kTimeoutMs);
        if (dialog.window == nullptr || dialog.title != title) {
            Fail(step, "no dialog titled \"" + title + "\"");
        }
        return dialog;
    }

    HWND NeedControl(const std::string& step, const FoundWindow& dialog, int id) const {
        const HWND control = Control(dialog, id);
        if (control == nullptr) Fail(step, "the dialog has no control " + std::to_string(id));
        return control;
    }

    void WaitUntilGone(const std::string& step, HWND window) const {
        if (!WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); })) {
            Fail(step, "the window stayed open after it was answered");
        }
    }

    // Waits for a window that goes by itself once its work is done; a message box of the
    // installer meanwhile fails the step at once, with its text.
    void WaitUntilGoneWithoutBoxes(const std::string& step, HWND window) const {
        std::string box;
        const bool gone = WaitFor([&] {
            for (const FoundWindow& open : process_.Windows()) {
                if (!open.text.empty()) box = open.title + ": " + open.text;
            }
            return !box.empty() || !IsWindow(window) || !IsWindowVisible(window);
        });
        if (!box.empty()) Fail(step, "a message box came up: " + box);
        if (!gone) Fail(step, "the page stayed open");
    }

    // The size display shows the text; it changes only in answer to a click, so the tour waits
    // for the text itself.
    void WaitForSize(const std::string& step, HWND size, const std::string& text) const {
        if (!WaitFor([&] { return StoredText(size) == text; })) {
            Fail(step, "the size display shows \"" + StoredText(size) + "\", not \"" + text + "\"");
        }
    }

    // Clicks on the text of the line at the position, as the mouse would: the press toggles the
    // line's box. The release is queued behind the press, for the tree's wait for it.
    static void ClickLine(HWND tree, int position) {
        const int height = static_cast<int>(Ask(tree, TVM_GETITEMHEIGHT));
        const LPARAM at = MAKELPARAM(40, height * position + height / 2);
        PostMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageA(tree, WM_LBUTTONUP, 0, at);
    }

    // The download stage, pictured while the server holds a download half-way: the server says
    // how many bytes it sent before the hold; once the byte counter shows them all, the page
    // stands still until the tour lets the server go on. The page's thread is waiting for the
    // network meanwhile, so its texts are read without messages and it is taken as it stands.
    void DownloadUnderWay(const FoundWindow& page, HWND prompt, HWND size,
                          const std::string& server) {
        const std::string step = "download stage";
        std::string answer;
        if (HttpGet(server + "/held", answer) != 200) {
            Fail(step, "the server " + server + " holds no download: " + answer);
        }
        const std::string counter = IntToText(std::atoi(answer.c_str()) / 1024) + " K/";
        std::string shown_prompt;
        std::string shown_size;
        if (!WaitFor([&] {
                shown_prompt = StoredText(prompt);
                shown_size = StoredText(size);
                return shown_prompt == kDownloading && shown_size.rfind(counter, 0) == 0;
            }, kHeldWaitMs)) {
            Fail(step, "the page shows \"" + shown_prompt + "\" and \"" + shown_size +
                           "\", not \"" + kDownloading + "\" and \"" + counter + "...\"");
        }
        std::printf("%s: %s\n", step.c_str(), shown_size.c_str());
        Shoot(step, page.window, "download", false);
        if (HttpGet(server + "/release", answer) != 200) {
            Fail(step, "the server let the download go on before the picture was taken");
        }
    }

    // Saves the window as NN-NAME.png (tour/screenshot.h).
    void Shoot(const std::string& step, HWND window, const std::string& name,
               bool answers_messages = true) {
        std::string error;
        std::printf("%s: ", step.c_str());
        if (!photographer_.Shoot(window, name, answers_messages, error)) Fail(step, error);
    }

    DrivenProcess& process_;
    Photographer photographer_;
};

// The package as its setting file describes it, read as the installer reads it.
Package ReadPackage(const std::string& setting_file) {
    Package package;
    SelectProfile(setting_file, "options");
    package.app_name = ReadProfileString("AppName", "");
    package.install_mode = ReadProfileInt("InstallMode", kCharacterMode);
    package.platform_name = ReadProfileString("Marlethware", "Ombrevine");
    package.dialogs = ReadProfileString("Dialogs", "");
    SelectProfile(setting_file, "SELINSTALLMODULE");
    for (int n = 0;; ++n) {
        Program program;
        program.name = ReadProfileString("DLViewName_" + IntToText(n), "");
        if (program.name.empty()) break;
        program.size = ReadProfileInt("DLSize_" + IntToText(n), 0);
        program.style = ReadProfileInt("DLStyle_" + IntToText(n), 0);
        package.programs.push_back(program);
    }
    return package;
}

bool ListsPage(const std::string& dialogs, const std::string& name) {
    std::string page;
    for (int k = 0; GetField(dialogs, ",", k, page); ++k) {
        if (page == name) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // Unbuffered, so that the steps done and a failure (on standard error) come out in order.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr,
                     "usage: wizard_tour PACKAGE.exe SETTING.ini SCREENSHOT_FOLDER [SERVER_URL]\n");
        return 2;
    }
    const std::string installer = FullPath(argv[1]);
    const std::string folder = FullPath(argv[3]);
    const std::string server = argc == 5 ? argv[4] : "";
    const Package package = ReadPackage(FullPath(argv[2]));
    if (package.app_name.empty()) {
        std::fprintf(stderr, "wizard tour: %s names no AppName\n", argv[2]);
        return 2;
    }
    // The module-selection page reads the download list when the installer starts. A list
    // with programs in it brings the introductory page (unless every size is 0) and the
    // module-selection page, and sends the install-folder page aside; an empty one the reverse.
    const bool downloads =
        ListsPage(package.dialogs, "SELINSTALLMODULE") && !package.programs.empty();
    int download_size = 0;
    for (const Program& program : package.programs) download_size += program.size;
    ForceFolders(folder);

    DrivenProcess process(installer, {});
    if (!process.started()) {
        std::fprintf(stderr, "wizard tour: cannot start %s\n", installer.c_str());
        return 1;
    }
    try {
        Tour tour(process, folder);
        tour.Question(package);
        std::string page;
        for (int k = 0; GetField(package.dialogs, ",", k, page); ++k) {
            if (page.empty()) continue;  // names no page: the installer shows none either
            if (page == "LICENSEAGREE") {
                tour.Agreement(package.app_name);
            } else if (page == "FIRST") {
                if (downloads && download_size > 0) tour.First(package);
            } else if (page == "SELINSTALLMODULE") {
                if (downloads) tour.Modules(package.programs, server);
            } else if (page == "FOLDERSELECT") {
                if (downloads) {
                    std::printf("install-folder page: steps aside for the download list\n");
                } else {
                    tour.Folder();
                }
            } else {
                throw TourFailure("the setting file names the page " + page +
                                  ", which the tour does not know\n");
            }
        }
        tour.Progress(package.app_name);
        tour.Finished(package);
        tour.Switches(installer);
    } catch (const TourFailure& failure) {
        std::fprintf(stderr, "wizard tour failed: %s", failure.what());
        return 1;
    }
    const int exit_code = process.WaitForExit(kTimeoutMs);
    std::printf("the installer exited with %d\n", exit_code);
    return exit_code == 0 ? 0 : 1;
}
