// The wizard's dialog templates as compiled into the resources, read back and compared with the
// layouts the pages are drawn for: position, size, styles, ids, classes, texts, font, language;
// and the icon.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "resource.h"
#include "support/test_support.h"

namespace {

struct Control {
    int id;
    std::string class_name;
    DWORD style;
    short x, y, cx, cy;
    std::string text;
};

struct Template {
    int id;
    DWORD style;
    short x, y, cx, cy;
    std::string title;
    WORD point_size;
    std::string font;
    std::vector<Control> controls;
};

// Reads a DLGTEMPLATE (not the extended form) as windres writes it.
class TemplateReader {
public:
    explicit TemplateReader(const void* data) : at_(static_cast<const BYTE*>(data)) {}

    Template Read() {
        Template t{};
        t.style = Dword();
        Dword();  // extended style
        const WORD count = Word();
        ReadRect(t.x, t.y, t.cx, t.cy);
        EXPECT_EQ("", NameOrOrdinal()) << "no menu";
        EXPECT_EQ("", NameOrOrdinal()) << "the standard dialog class";
        t.title = String();
        if (t.style & DS_SETFONT) {
            t.point_size = Word();
            t.font = String();
        }
        for (WORD i = 0; i < count; ++i) {
            Align();
            Control c{};
            c.style = Dword();
            Dword();  // extended style
            ReadRect(c.x, c.y, c.cx, c.cy);
            c.id = static_cast<short>(Word());
            c.class_name = NameOrOrdinal();
            c.text = NameOrOrdinal();
            at_ += Word();  // creation data
            t.controls.push_back(c);
        }
        return t;
    }

private:
    WORD Word() {
        WORD value;
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    DWORD Dword() {
        DWORD value;
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    void ReadRect(short& x, short& y, short& cx, short& cy) {
        x = static_cast<short>(Word());
        y = static_cast<short>(Word());
        cx = static_cast<short>(Word());
        cy = static_cast<short>(Word());
    }
    void Align() {
        while (reinterpret_cast<uintptr_t>(at_) % 4 != 0) ++at_;
    }
    // A zero-terminated UTF-16 string, returned in code page 932.
    std::string String() {
        std::wstring wide;
        for (WORD c = Word(); c != 0; c = Word()) wide += static_cast<wchar_t>(c);
        if (wide.empty()) return "";
        char text[4096] = {};
        WideCharToMultiByte(932, 0, wide.c_str(), -1, text, sizeof text, nullptr, nullptr);
        return text;
    }
    // A string, or an ordinal (0xFFFF, n): the predefined control classes by name.
    std::string NameOrOrdinal() {
        WORD first;
        std::memcpy(&first, at_, sizeof first);
        if (first != 0xFFFF) return String();
        Word();
        switch (const WORD ordinal = Word()) {
        case 0x80: return "BUTTON";
        case 0x81: return "EDIT";
        case 0x82: return "STATIC";
        default: return "#" + std::to_string(ordinal);
        }
    }

    const BYTE* at_;
};

Template LoadTemplate(int id) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(id),
                                  MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    if (found == nullptr) {
        ADD_FAILURE() << "no Japanese dialog template " << id;
        return {};
    }
    return TemplateReader(LockResource(LoadResource(module, found))).Read();
}

const Template kExpected[] = {
    {IDD_LICENSE, 0x10C800C0, 12, 28, 310, 202, "appname", 9, "ＭＳ ゴシック",
     {{102, "EDIT", 0x50A108C4, 8, 10, 294, 142, "T"},
      {101, "BUTTON", 0x58010001, 195, 180, 48, 17, "同意する"},
      {103, "BUTTON", 0x50010000, 254, 180, 48, 17, "同意しない"},
      {-1, "STATIC", 0x50020000, 79, 161, 151, 8, "※文章を全て読むことで次へ進めます。"},
      {-1, "STATIC", 0x50000008, 7, 175, 294, 1, ""},
      {-1, "STATIC", 0x50000009, 7, 176, 294, 1, ""}}},
    {IDD_FOLDER, 0x10C800C0, 9, 20, 228, 167, "インストールフォルダの設定", 9, "ＭＳ ゴシック",
     {{-1, "STATIC", 0x50020000, 9, 6, 209, 83,
       "　キャラクタをインストールするフォルダ(システムがインストールされているフォルダ)を指定して"
       "ください．インストール先を変更しない場合は[OK]ボタンをクリックしてください．\n\n"
       "　インストール先を変更する場合は[参照]ボタンを押してフォルダを選択してください．\n\n\n"
       "　[Cancel]ボタンを押すとセットアップを中止できます．"},
      {-1, "STATIC", 0x50000008, 10, 117, 206, 24, ""},
      {-1, "STATIC", 0x50000009, 11, 118, 206, 24, ""},
      {1004, "EDIT", 0x50810080, 17, 122, 152, 13, ""},
      {106, "BUTTON", 0x50010000, 175, 121, 35, 15, "参照(&R)"},
      {-1, "STATIC", 0x50000008, 9, 145, 208, 1, ""},
      {-1, "STATIC", 0x50000009, 10, 146, 208, 1, ""},
      {102, "BUTTON", 0x50010001, 131, 150, 42, 14, "&OK"},
      {103, "BUTTON", 0x50010000, 175, 150, 42, 14, "&Cancel"}}},
    {IDD_PROGRESS, 0x90C000C0, 6, 15, 180, 40, "インストール中...", 10, "ＭＳ ゴシック",
     {{150, "msctls_progress32", 0x50800001, 9, 19, 160, 8, ""}}},
};

TEST(DialogTemplates, MatchTheirLayouts) {
    for (const Template& expected : kExpected) {
        SCOPED_TRACE("template " + std::to_string(expected.id));
        const Template actual = LoadTemplate(expected.id);
        EXPECT_EQ(expected.style, actual.style) << std::hex << actual.style;
        EXPECT_EQ((std::vector<short>{expected.x, expected.y, expected.cx, expected.cy}),
                  (std::vector<short>{actual.x, actual.y, actual.cx, actual.cy}));
        EXPECT_EQ(expected.title, actual.title);
        EXPECT_EQ(expected.point_size, actual.point_size);
        EXPECT_EQ(expected.font, actual.font);
        ASSERT_EQ(expected.controls.size(), actual.controls.size());
        for (size_t i = 0; i < expected.controls.size(); ++i) {
            const Control& e = expected.controls[i];
            const Control& a = actual.controls[i];
            SCOPED_TRACE("control " + std::to_string(i));
            EXPECT_EQ(e.id, a.id);
            EXPECT_EQ(0, lstrcmpiA(e.class_name.c_str(), a.class_name.c_str())) << a.class_name;
            EXPECT_EQ(e.style, a.style) << std::hex << a.style;
            EXPECT_EQ((std::vector<short>{e.x, e.y, e.cx, e.cy}),
                      (std::vector<short>{a.x, a.y, a.cx, a.cy}));
            EXPECT_EQ(e.text, a.text);
        }
    }
}

// The icon's images load as icons at each size, the 48-pixel one from its PNG: the picture is
// opaque in the middle and transparent in the corner, and its heart is red.
TEST(Icon, EverySizeLoadsWithItsPicture) {
    for (int size : {16, 32, 48}) {
        SCOPED_TRACE(size);
        const UniqueIcon icon(static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr),
                                                            MAKEINTRESOURCEA(IDI_INSTALLER),
                                                            IMAGE_ICON, size, size, 0)));
        ASSERT_TRUE(icon);
        IconBitmaps bitmaps;
        ASSERT_TRUE(ReadIconBitmaps(icon.get(), bitmaps));
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = size;
        format.bmiHeader.biHeight = -size;  // top row first
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        std::vector<RGBQUAD> pixels(size * size);
        HDC screen = GetDC(nullptr);
        const int rows = GetDIBits(screen, bitmaps.color_bitmap(), 0, size, pixels.data(),
                                   &format, DIB_RGB_COLORS);
        ReleaseDC(nullptr, screen);
        ASSERT_EQ(size, rows);
        EXPECT_EQ(0, pixels[0].rgbReserved);
        const bool heart = std::any_of(pixels.begin(), pixels.end(), [](const RGBQUAD& p) {
            return p.rgbRed > 180 && p.rgbGreen < 130 && p.rgbReserved == 255;
        });
        EXPECT_TRUE(heart || size == 16);  // at 16 pixels the heart blends with the box
        EXPECT_EQ(255, pixels[size * size / 2 + size / 2].rgbReserved);
    }
}

}  // namespace
