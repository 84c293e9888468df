// Screenshots for the tours: capture, PNG writing, numbered pictures.
#include "tour/screenshot.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "support/installer_driver.h"
#include "utils/unique_any.h"

namespace {

// Screen pixels around a window in its screenshot.
const int kMargin = 8;

struct ScreenDcTraits {
    using Type = HDC;
    static Type Empty() { return nullptr; }
    static bool Close(Type dc) { return ReleaseDC(nullptr, dc) != 0; }
};
using UniqueScreenDc = UniqueAny<ScreenDcTraits>;  // GetDC(nullptr)

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

}  // namespace

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
    UniqueDc memory(CreateCompatibleDC(screen.get()));
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

bool Photographer::Shoot(HWND window, const std::string& name, bool answers_messages,
                         std::string& error) {
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
    if (!settled) {
        error = "the window's picture kept changing";
        return false;
    }
    if (picture.rgb.empty()) {
        error = "the window went before it could be captured";
        return false;
    }
    char number[8];
    std::snprintf(number, sizeof number, "%02d-", ++shots_);
    const std::string path = folder_ + "\\" + number + name + ".png";
    if (!WritePng(path, picture)) {
        error = "cannot write " + path;
        return false;
    }
    std::printf("%s\n", path.c_str());
    return true;
}

bool Photographer::ShootSwitches(const std::string& program, std::string& error) {
    DrivenProcess help(program, {"/?"});
    const FoundWindow box = help.WaitForBox("確認");
    if (box.window == nullptr) {
        error = program + " /? shows no box\n";
        return false;
    }
    if (!Shoot(box.window, "switches", true, error)) return false;
    DrivenProcess::Press(box, IDOK);
    if (help.WaitForExit() != 0) {
        error = program + " /? did not end with 0\n";
        return false;
    }
    return true;
}
