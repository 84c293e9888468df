// The uninstall tour: removes installed characters through the uninstaller's own windows and
// screenshots every step, as a user would go through them.
//   uninstall_tour.exe UNINSTALLER.exe SCREENSHOT_FOLDER NAME...
// The uninstaller is started without arguments and must list the characters named (AppName, in
// the order listed); the tour removes the first listed one after the other, answering the question
// with Yes and the outcome with OK, until the list window closes by itself. Exit code 0 when every
// step was seen and the uninstaller exited 0.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/installer_driver.h"
#include "tour/screenshot.h"
#include "uninstaller/uninstaller_resource.h"
#include "utils/files.h"
#include "utils/process.h"
#include "utils/text.h"

namespace {

const DWORD kTimeoutMs = 30000;
const char kDialogClass[] = "#32770";
const char kListTitle[] = "キャラクターアンインストール";
const char kQuestion[] = "を削除します。\r\nよろしいですか？";
const char kRemoved[] = "を削除しました。";
const char kRemoving[] = " 削除中";
const char kConfirmCaption[] = "確認";

class TourFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Tour {
public:
    Tour(DrivenProcess& process, std::string folder)
        : process_(process), photographer_(std::move(folder)) {}

    // The box of the uninstaller's /? (what an administrator reads first).
    void Switches(const std::string& program) {
        std::string error;
        std::printf("switches box: ");
        if (!photographer_.ShootSwitches(program, error)) Fail("switches box", error);
    }

    // The list as it opens (or as it is left): as many rows as characters are left; the first is
    // chosen, and 削除 removes it.
    void List(size_t rows, const std::string& name) {
        const std::string step = "list window";
        const FoundWindow list = process_.WaitForWindow(kDialogClass, kListTitle, kTimeoutMs);
        if (list.window == nullptr || list.title != kListTitle) Fail(step, "no list window");
        const HWND control = Control(list, IDC_UNINSTALL_LIST);
        if (control == nullptr) Fail(step, "the window has no list");
        const LRESULT shown = SendMessageA(control, LVM_GETITEMCOUNT, 0, 0);
        if (shown != static_cast<LRESULT>(rows)) {
            Fail(step, "it lists " + std::to_string(shown) + " rows, not " + std::to_string(rows));
        }
        Shoot(step, list.window, rows_seen_++ == 0 ? "list" : "list-left");
        std::printf("%s: removing %s\n", step.c_str(), name.c_str());
        DrivenProcess::Press(list, IDOK);
    }

    // "Remove the character?" - yes; its progress; "removed" - OK.
    void Removal(const std::string& name) {
        const std::string quoted = "\"" + name + "\"";
        const FoundWindow question = WaitForBox("question", quoted + kQuestion);
        Shoot("question", question.window, "question");
        DrivenProcess::Press(question, IDYES);
        WaitUntilGone("question", question.window);

        const std::string step = "progress dialog";
        const FoundWindow progress =
            process_.WaitForWindow(kDialogClass, quoted + kRemoving, kTimeoutMs);
        if (progress.window == nullptr) Fail(step, "no dialog titled " + quoted + kRemoving);
        Shoot(step, progress.window, "progress", false);

        const FoundWindow removed = WaitForBox("outcome", quoted + kRemoved);
        Shoot("outcome", removed.window, "removed");
        DrivenProcess::Press(removed, IDOK);
        WaitUntilGone("outcome", removed.window);
    }

private:
    [[noreturn]] void Fail(const std::string& step, const std::string& what) const {
        const std::string windows = process_.Running() ? process_.Describe() : "";
        throw TourFailure(step + ": " + what + "\nopen windows of the uninstaller:\n" +
                          (windows.empty() ? "(none)\n" : windows));
    }

    // A box whose text begins with start (the outcome may name kept files after it).
    FoundWindow WaitForBox(const std::string& step, const std::string& start) const {
        const FoundWindow box = process_.WaitForBox(kConfirmCaption, kTimeoutMs);
        if (box.window == nullptr) Fail(step, "no message box saying \"" + start + "\"");
        if (box.text.rfind(start, 0) != 0) {
            Fail(step, "the box says \"" + box.text + "\", not \"" + start + "...\"");
        }
        std::printf("%s: \"%s\"\n", step.c_str(), box.text.c_str());
        return box;
    }

    void WaitUntilGone(const std::string& step, HWND window) const {
        if (!WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); })) {
            Fail(step, "the window stayed open after it was answered");
        }
    }

    void Shoot(const std::string& step, HWND window, const std::string& name,
               bool answers_messages = true) {
        std::string error;
        std::printf("%s: ", step.c_str());
        if (!photographer_.Shoot(window, name, answers_messages, error)) Fail(step, error);
    }

    DrivenProcess& process_;
    Photographer photographer_;
    int rows_seen_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 4) {
        std::fprintf(stderr, "usage: uninstall_tour UNINSTALLER.exe SCREENSHOT_FOLDER NAME...\n");
        return 2;
    }
    const std::string folder = FullPath(argv[2]);
    // The names in Shift-JIS, as the uninstaller's texts are, whatever the system's code page (in
    // which argv would have lost them).
    std::vector<std::string> names;
    int wide_count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &wide_count);
    for (int i = 3; wide != nullptr && i < wide_count; ++i) {
        names.push_back(NarrowText(wide[i], kJapaneseCodePage));
    }
    LocalFree(wide);
    ForceFolders(folder);
    DrivenProcess process(FullPath(argv[1]), {});
    if (!process.started()) {
        std::fprintf(stderr, "uninstall tour: cannot start %s\n", argv[1]);
        return 1;
    }
    try {
        Tour tour(process, folder);
        for (size_t i = 0; i < names.size(); ++i) {
            // One character alone goes straight to the question.
            if (names.size() > 1) tour.List(names.size() - i, names[i]);
            tour.Removal(names[i]);
        }
        // The switches box of /?, from the uninstaller the build made (the one the tour drove
        // has removed itself).
        tour.Switches(FolderOf(OwnProgramPath()) + "chruinst.exe");
    } catch (const TourFailure& failure) {
        std::fprintf(stderr, "uninstall tour failed: %s", failure.what());
        return 1;
    }
    const int exit_code = process.WaitForExit(kTimeoutMs);
    std::printf("the uninstaller exited with %d\n", exit_code);
    return exit_code == 0 ? 0 : 1;
}
