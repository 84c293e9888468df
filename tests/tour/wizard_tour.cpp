// The wizard tour: installs a character package interactively and screenshots every step.
//   wizard_tour.exe PACKAGE.exe SETTING.ini SCREENSHOT_FOLDER
// It answers each step as a user would and saves the window of each as a PNG file.
// SETTING.ini is the package's setting file (Shift-JIS): the tour takes the character's name and
// the pages to expect from it. Exit code 0 when every step was seen and the installer exited 0.
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "res/resource.h"
#include "support/installer_driver.h"
#include "utils/files.h"
#include "utils/profile.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

// Every wait for a state gives up after this long.
const DWORD kTimeoutMs = 30000;
// Screen pixels around a window in its screenshot.
const int kMargin = 8;

const char kConfirmCaption[] = "確認";
const char kDialogClass[] = "#32770";
const char kFolderPageTitle[] = "インストールフォルダの設定";

// --- handles of the screenshot code --------------------------------------------------------

struct ScreenDcTraits {
    using Type = HDC;
    static Type Empty() { return nullptr; }
    static bool Close(Type dc) { return ReleaseDC(nullptr, dc) != 0; }
};
struct MemoryDcTraits {
    using Type = HDC;
    static Type Empty() { return nullptr; }
    static bool Close(Type dc) { return DeleteDC(dc) != FALSE; }
};
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Empty() { return nullptr; }
    static bool Close(Type object) { return DeleteObject(object) != FALSE; }
};
using UniqueScreenDc = UniqueAny<ScreenDcTraits>;  // GetDC(nullptr)
using UniqueMemoryDc = UniqueAny<MemoryDcTraits>;  // CreateCompatibleDC
using UniqueGdiObject = UniqueAny<GdiObjectTraits>;

// Selects an object into a DC and puts the previous one back: a DC must not be deleted, nor its
// bitmap, while the bitmap is still selected.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(dc_, previous_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// --- pictures ------------------------------------------------------------------------------

// An RGB picture, 8 bits a channel, rows top to bottom.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    bool operator==(const Picture& other) const {
        return width == other.width && height == other.height && rgb == other.rgb;
    }
};

// The screen area of a window with a margin, kept on the screen.
RECT AreaAround(HWND window) {
    RECT area{};
    GetWindowRect(window, &area);
    area.left = std::max(0L, area.left - kMargin);
    area.top = std::max(0L, area.top - kMargin);
    area.right = std::min<LONG>(GetSystemMetrics(SM_CXSCREEN), area.right + kMargin);
    area.bottom = std::min<LONG>(GetSystemMetrics(SM_CYSCREEN), area.bottom + kMargin);
    return area;
}

// What the screen shows in the area: copied from the screen DC into a 32-bit DIB section.
Picture CaptureScreen(const RECT& area) {
    Picture picture;
    picture.width = area.right - area.left;
    picture.height = area.bottom - area.top;
    if (picture.width <= 0 || picture.height <= 0) return Picture();

    UniqueScreenDc screen(GetDC(nullptr));
    UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;  // negative: rows top to bottom
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueGdiObject bitmap(
        CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!screen || !memory || !bitmap) return Picture();
    {
        SelectedObject selected(memory.get(), bitmap.get());
        if (!BitBlt(memory.get(), 0, 0, picture.width, picture.height, screen.get(), area.left,
                    area.top, SRCCOPY | CAPTUREBLT)) {
            return Picture();
        }
    }
    GdiFlush();  // the DIB's memory is only up to date once GDI has finished drawing into it

    const auto* bgrx = static_cast<const uint8_t*>(bits);
    const size_t pixels = static_cast<size_t>(picture.width) * picture.height;
    picture.rgb.resize(pixels * 3);
    for (size_t i = 0; i < pixels; ++i) {
        picture.rgb[i * 3] = bgrx[i * 4 + 2];
        picture.rgb[i * 3 + 1] = bgrx[i * 4 + 1];
        picture.rgb[i * 3 + 2] = bgrx[i * 4];
    }
    return picture;
}

void AppendBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void AppendChunk(std::string& out, const char* type, const std::string& data) {
    AppendBigEndian(out, static_cast<uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    out += body;
    AppendBigEndian(out, static_cast<uint32_t>(crc32(
        0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

// A PNG file: 8-bit RGB, no interlace, every row unfiltered, one zlib stream.
bool WritePng(const std::string& path, const Picture& picture) {
    const size_t row_bytes = static_cast<size_t>(picture.width) * 3;
    std::string rows;
    rows.reserve((row_bytes + 1) * picture.height);
    for (int y = 0; y < picture.height; ++y) {
        rows += '\0';  // filter type: none
        rows.append(reinterpret_cast<const char*>(picture.rgb.data()) + y * row_bytes, row_bytes);
    }
    uLongf packed_size = compressBound(static_cast<uLong>(rows.size()));
    std::string packed(packed_size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
                  reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        return false;
    }
    packed.resize(packed_size);

    std::string header;
    AppendBigEndian(header, static_cast<uint32_t>(picture.width));
    AppendBigEndian(header, static_cast<uint32_t>(picture.height));
    // Depth 8, RGB, deflate, filter method 0, no interlace.
    header += std::string("\x08\x02\x00\x00\x00", 5);
    std::string png("\x89PNG\r\n\x1a\n", 8);
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", packed);
    AppendChunk(png, "IEND", "");

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(png.data(), static_cast<std::streamsize>(png.size()));
    return out.good();
}

// --- the tour ------------------------------------------------------------------------------

// Sends a message that asks a control of the installer for a number; 0 when it does not answer.
LRESULT Ask(HWND control, UINT message) {
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(control, message, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &answer);
    return static_cast<LRESULT>(answer);
}

class TourFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Tour {
public:
    Tour(DrivenProcess& process, std::string folder)
        : process_(process), folder_(std::move(folder)) {}

    // Step 1: "install the character?" - yes.
    void Question(const std::string& app_name) {
        const std::string step = "step 1 (first question)";
        const FoundWindow box = WaitForBox(
            step, "キャラクター\"" + app_name + "\"をインストールします。\r\nよろしいですか？");
        Shoot(step, box.window, "01-question.png");
        DrivenProcess::Press(box, IDYES);
        WaitUntilGone(step, box.window);
    }

    // Step 2: the agreement page. Agree is enabled only once the text has been read to its end,
    // so the tour pages down through the text as a user would and then agrees.
    void Agreement(const std::string& app_name) {
        const std::string step = "step 2 (agreement page)";
        const FoundWindow page = WaitForDialog(step, app_name);
        const HWND text = NeedControl(step, page, IDC_LICENSE_TEXT);
        const HWND agree = NeedControl(step, page, IDC_LICENSE_AGREE);
        NeedControl(step, page, IDC_LICENSE_REFUSE);
        const LRESULT lines = Ask(text, EM_GETLINECOUNT);
        std::printf("%s: the agreement text has %ld lines\n", step.c_str(),
                    static_cast<long>(lines));
        if (ControlText(text).empty()) Fail(step, "the agreement text is empty");
        if (IsWindowEnabled(agree)) Fail(step, "\"同意する\" is enabled before the text was scrolled");
        Shoot(step, page.window, "02-agreement.png");

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
        Shoot(step, page.window, "03-agreement-scrolled.png");
        Click(agree);
        WaitUntilGone(step, page.window);
    }

    // Step 3: the install-folder page: keep the folder it proposes.
    void Folder() {
        const std::string step = "step 3 (install-folder page)";
        const FoundWindow page = WaitForDialog(step, kFolderPageTitle);
        const HWND path = NeedControl(step, page, IDC_FOLDER_PATH);
        NeedControl(step, page, IDC_FOLDER_OK);
        NeedControl(step, page, IDC_FOLDER_CANCEL);
        NeedControl(step, page, IDC_FOLDER_BROWSE);
        const std::string folder = ControlText(path);
        if (folder.empty()) Fail(step, "the folder field is empty");
        std::printf("%s: install folder %s\n", step.c_str(), folder.c_str());
        Shoot(step, page.window, "04-folder.png");
        DrivenProcess::Press(page, IDC_FOLDER_OK);
        WaitUntilGone(step, page.window);
    }

    // Step 4: the progress dialog, taken as soon as it is there. Its thread is busy extracting
    // (and then waits without handling messages), so it cannot be asked to repaint first.
    void Progress(const std::string& app_name) {
        const std::string step = "step 4 (progress dialog)";
        const FoundWindow dialog = WaitForDialog(step, "\"" + app_name + "\" インストール中");
        Shoot(step, dialog.window, "05-progress.png", false);
    }

    // Step 5: "installed; start it?" - no.
    void Finished(const std::string& app_name) {
        const std::string step = "step 5 (closing question)";
        const FoundWindow box = WaitForBox(
            step, "\"" + app_name + "\"のインストールは正常に終了しました。\r\n起動しますか？");
        Shoot(step, box.window, "06-finished.png");
        DrivenProcess::Press(box, IDNO);
        WaitUntilGone(step, box.window);
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

    // Saves the screen area of the window once two captures in a row agree: Wine hands a
    // window's pixels to the X server a little after the window has painted them. A window
    // that answers messages is first asked to paint itself completely (RedrawWindow returns
    // once its thread has done so); a busy one is taken as it stands, and when it goes before
    // its picture settles, the last capture taken while it was there is kept.
    void Shoot(const std::string& step, HWND window, const std::string& name,
               bool answers_messages = true) const {
        if (answers_messages) {
            RedrawWindow(window, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        }
        Picture picture;
        const bool settled = WaitFor([&] {
            Picture again = CaptureScreen(AreaAround(window));
            if (!IsWindow(window) || !IsWindowVisible(window)) return true;  // gone: keep the last
            const bool same = again == picture;
            picture = std::move(again);
            return same;
        });
        if (!settled) Fail(step, "the window's picture kept changing");
        if (picture.rgb.empty()) Fail(step, "the window went before it could be captured");
        const std::string path = folder_ + "\\" + name;
        if (!WritePng(path, picture)) Fail(step, "cannot write " + path);
        std::printf("%s: %s\n", step.c_str(), path.c_str());
    }

    DrivenProcess& process_;
    std::string folder_;
};

}  // namespace

int main(int argc, char** argv) {
    // Unbuffered, so that the steps done and a failure (on standard error) come out in order.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc != 4) {
        std::fprintf(stderr, "usage: wizard_tour PACKAGE.exe SETTING.ini SCREENSHOT_FOLDER\n");
        return 2;
    }
    const std::string package = FullPath(argv[1]);
    const std::string folder = FullPath(argv[3]);
    // The setting file read as the installer reads it.
    SelectProfile(FullPath(argv[2]), "options");
    const std::string app_name = ReadProfileString("AppName", "");
    const std::string dialogs = ReadProfileString("Dialogs", "");
    if (app_name.empty()) {
        std::fprintf(stderr, "wizard tour: %s names no AppName\n", argv[2]);
        return 2;
    }
    ForceFolders(folder);

    DrivenProcess process(package, {});
    if (!process.started()) {
        std::fprintf(stderr, "wizard tour: cannot start %s\n", package.c_str());
        return 1;
    }
    try {
        Tour tour(process, folder);
        tour.Question(app_name);
        std::string page;
        for (int k = 0; GetField(dialogs, ",", k, page); ++k) {
            if (page.empty()) continue;  // names no page: the installer shows none either
            if (page == "LICENSEAGREE") {
                tour.Agreement(app_name);
            } else if (page == "FOLDERSELECT") {
                tour.Folder();
            } else {
                throw TourFailure("the setting file names the page " + page +
                                  ", which the tour does not know\n");
            }
        }
        tour.Progress(app_name);
        tour.Finished(app_name);
    } catch (const TourFailure& failure) {
        std::fprintf(stderr, "wizard tour failed: %s", failure.what());
        return 1;
    }
    const int exit_code = process.WaitForExit(kTimeoutMs);
    std::printf("the installer exited with %d\n", exit_code);
    return exit_code == 0 ? 0 : 1;
}
