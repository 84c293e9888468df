// Driving a started program through its windows.
#include "support/installer_driver.h"

#include <tlhelp32.h>

#include <algorithm>
#include <sstream>

#include "utils/text.h"

namespace {

std::string Quote(const std::string& argument) {
    return "\"" + argument + "\"";
}

// The system's message-box template: the text in control 0xFFFF, the icon in control stc1
// (0x440). The wizard pages have unnamed statics (id 0xFFFF) too, but no such icon.
constexpr int kBoxTextId = 0xFFFF;
constexpr int kBoxIconId = 0x440;

bool HasBoxLayout(HWND window) {
    return GetDlgItem(window, kBoxTextId) != nullptr && GetDlgItem(window, kBoxIconId) != nullptr;
}

// CreateToolhelp32Snapshot gives INVALID_HANDLE_VALUE when it fails, as CreateFile does.
using UniqueSnapshot = UniqueAny<FileTraits>;

// The processes whose parent is the given one, by id.
std::vector<DWORD> ChildProcessIds(DWORD parent_id) {
    std::vector<DWORD> children;
    UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return children;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == parent_id) children.push_back(entry.th32ProcessID);
    }
    return children;
}

void EndProcess(HANDLE process) {
    TerminateProcess(process, 99);
    WaitForSingleObject(process, 10000);
}

struct EnumContext {
    const std::vector<DWORD>* process_ids;
    std::vector<FoundWindow>* found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto* context = reinterpret_cast<EnumContext*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    const std::vector<DWORD>& ids = *context->process_ids;
    if (std::find(ids.begin(), ids.end(), owner) == ids.end() || !IsWindowVisible(window)) {
        return TRUE;
    }
    FoundWindow found;
    found.window = window;
    char text[4096] = {};
    GetClassNameA(window, text, sizeof text);
    found.class_name = text;
    found.title = WindowTitle(window);
    if (found.class_name == "#32770" && HasBoxLayout(window)) {
        // With a time-out: a box that closes while it is read must not hold the test forever.
        found.text = ControlText(GetDlgItem(window, kBoxTextId));
    }
    context->found->push_back(found);
    return TRUE;
}

bool IsMessageBox(const FoundWindow& window) {
    return window.class_name == "#32770" && HasBoxLayout(window.window);
}

}  // namespace

DrivenProcess::DrivenProcess(const std::string& exe, const std::vector<std::string>& arguments) {
    std::string command_line = Quote(exe);
    for (const std::string& argument : arguments) command_line += " " + Quote(argument);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info)) {
        process_.reset(info.hProcess);
        UniqueHandle thread(info.hThread);
        process_id_ = info.dwProcessId;
    }
}

DrivenProcess::~DrivenProcess() {
    if (Running()) EndWithChildren();
}

void DrivenProcess::EndWithChildren() {
    // A test that stops half-way leaves no Notepad or started installer behind either.
    const std::vector<DWORD> children = ChildProcessIds(process_id_);
    EndProcess(process_.get());
    for (DWORD id : children) {
        UniqueHandle child(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (child) EndProcess(child.get());
    }
}

bool DrivenProcess::Running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::vector<FoundWindow> DrivenProcess::Windows() const {
    return WindowsOf({process_id_});
}

std::vector<FoundWindow> DrivenProcess::ChildWindows() const {
    if (!process_) return {};
    const std::vector<DWORD> children = ChildProcessIds(process_id_);
    return children.empty() ? std::vector<FoundWindow>() : WindowsOf(children);
}

std::vector<FoundWindow> DrivenProcess::WindowsOf(const std::vector<DWORD>& process_ids) const {
    std::vector<FoundWindow> found;
    EnumContext context{&process_ids, &found};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&context));
    return found;
}

FoundWindow DrivenProcess::WaitForChildWindow(const std::string& class_name,
                                              DWORD timeout_ms) const {
    FoundWindow result;
    WaitFor([&] {
        for (const FoundWindow& window : ChildWindows()) {
            if (window.class_name == class_name) {
                result = window;
                return true;
            }
        }
        return !Running();
    }, timeout_ms);
    return result;
}

FoundWindow DrivenProcess::WaitForWindow(const std::string& class_name,
                                         const std::string& title_prefix, DWORD timeout_ms) const {
    const DWORD start = GetTickCount();
    do {
        for (const FoundWindow& window : Windows()) {
            if (window.class_name == class_name && window.title.rfind(title_prefix, 0) == 0) {
                return window;
            }
        }
        Sleep(30);
    } while (GetTickCount() - start < timeout_ms && Running());
    return FoundWindow();
}

FoundWindow DrivenProcess::WaitForBox(const std::string& caption, DWORD timeout_ms) const {
    const DWORD start = GetTickCount();
    do {
        for (const FoundWindow& window : Windows()) {
            if (IsMessageBox(window) && window.title == caption) {
                return window;
            }
        }
        Sleep(30);
    } while (GetTickCount() - start < timeout_ms && Running());
    return FoundWindow();
}

void DrivenProcess::Press(const FoundWindow& box, int button_id) {
    PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box.window, button_id)));
}

int DrivenProcess::WaitForExit(DWORD timeout_ms) {
    if (!process_) return -1;
    if (WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) {
        EndWithChildren();
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return static_cast<int>(code);
}

std::string DrivenProcess::Describe() const {
    std::ostringstream out;
    for (const FoundWindow& window : Windows()) {
        out << "[" << window.class_name << "] \"" << window.title << "\" " << window.text << "\n";
    }
    return out.str();
}

HWND Control(const FoundWindow& dialog, int id) {
    return GetDlgItem(dialog.window, id);
}

// The messages to a driven program's windows wait for its answer up to ten seconds, never for a
// program that does not answer at all; not SMTO_ABORTIFHUNG, which gives up at once on a thread
// that has just come back from a long wait of its own (an installer that waited for a host).
constexpr UINT kDriveFlags = SMTO_NORMAL;

namespace {

std::wstring WideControlText(HWND control) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, kDriveFlags, 10000, &length);
    std::wstring text(length + 1, L'\0');
    SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        kDriveFlags, 10000, &length);
    text.resize(length);
    return text;
}

}  // namespace

std::string ControlText(HWND control) {
    return NarrowText(WideControlText(control), kJapaneseCodePage);
}

std::string ControlPath(HWND control) {
    return NarrowText(WideControlText(control));
}

std::string WindowTitle(HWND window) {
    wchar_t title[4096] = {};
    GetWindowTextW(window, title, 4096);
    return NarrowText(title, kJapaneseCodePage);
}

void SetControlText(HWND control, const std::string& text) {
    DWORD_PTR result = 0;
    const std::wstring typed = WideText(text);
    SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()),
                        kDriveFlags, 10000, &result);
}

void Click(HWND button) {
    PostMessageA(button, BM_CLICK, 0, 0);
}

void PressKey(HWND control, WPARAM key) {
    PostMessageA(control, WM_KEYDOWN, key, 1);
    PostMessageA(control, WM_KEYUP, key, 0xC0000001);
}

void Settle(HWND edit) {
    const auto modified = [edit] {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(edit, EM_GETMODIFY, 0, 0, kDriveFlags, 10000, &result);
        return result != 0;
    };
    // Three rounds: a posted message, the message it posts, and the one that posts.
    for (int round = 0; round < 3 && IsWindow(edit); ++round) {
        const bool marker = !modified();
        PostMessageA(edit, EM_SETMODIFY, marker, 0);
        WaitFor([&] { return !IsWindow(edit) || modified() == marker; }, 10000);
    }
}

bool WaitFor(const std::function<bool()>& state, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    while (!state()) {
        if (GetTickCount() - start >= timeout_ms) return false;
        Sleep(10);
    }
    return true;
}

int AnswerBoxesAndWait(DrivenProcess& process, const std::vector<ExpectedBox>& boxes,
                       std::string& mismatch, DWORD timeout_ms) {
    for (const ExpectedBox& expected : boxes) {
        const FoundWindow box = process.WaitForBox(expected.caption, timeout_ms);
        if (box.window == nullptr) {
            mismatch += "no box \"" + expected.caption + "\" with: " + expected.text +
                        "\nopen windows:\n" + process.Describe();
            break;
        }
        if (box.text != expected.text) {
            mismatch += "box text: " + box.text + "\nexpected: " + expected.text + "\n";
        }
        DrivenProcess::Press(box, expected.button);
        // Wait for the box to go before looking for the next one (the press is posted).
        WaitFor([&] { return !IsWindow(box.window); }, timeout_ms);
    }
    const DWORD start = GetTickCount();
    while (process.Running() && GetTickCount() - start < timeout_ms) {
        for (const FoundWindow& window : process.Windows()) {
            if (IsMessageBox(window)) {
                mismatch += "unexpected box \"" + window.title + "\": " + window.text + "\n";
                DrivenProcess::Press(window, IDOK);
                DrivenProcess::Press(window, IDNO);
            }
        }
        Sleep(50);
    }
    return process.WaitForExit(1000);
}

int RunProgram(const std::string& command_line, DWORD timeout_ms) {
    std::string line = command_line;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return -1;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    if (WaitForSingleObject(process.get(), timeout_ms) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 99);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
}
