// Screenshots for the tours of the main job: the screen area of a window with a small margin,
// saved as a PNG file, numbered in the order taken.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

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
RECT AreaAround(HWND window);
// What the screen shows in the area; empty when it cannot be captured.
Picture CaptureScreen(const RECT& area);
// A PNG file: 8-bit RGB, no interlace, every row unfiltered, one zlib stream.
bool WritePng(const std::string& path, const Picture& picture);

// Takes the pictures of one tour into its folder as NN-NAME.png.
class Photographer {
public:
    explicit Photographer(std::string folder) : folder_(std::move(folder)) {}

    // Saves the window once two captures in a row agree: Wine hands a window's pixels to the X
    // server a little after the window has painted them. A window that answers messages is first
    // asked to paint itself completely (RedrawWindow returns once its thread has done so); a busy
    // one is taken as it stands, and when it goes before its picture settles, the last capture
    // taken while it was there is kept. False with error set when no picture could be saved.
    bool Shoot(HWND window, const std::string& name, bool answers_messages, std::string& error);

    // Starts program with /? and saves its switches box as NN-switches.png; true when the box
    // showed and the program ended with 0 after OK.
    bool ShootSwitches(const std::string& program, std::string& error);

private:
    std::string folder_;
    int shots_ = 0;  // pictures taken so far: the next one's number is one more
};
