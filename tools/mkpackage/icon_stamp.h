// The author's icon for a built installer: an .ico file read and checked, and written into the
// copy of setup.exe in place of the installer's own icon (the group and its images).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resource_update.h"

// One image of an icon file: its directory entry's first 12 bytes (size, colours, planes, bit
// count, byte count), which the resource's group entry repeats, and its data.
struct IconImage {
    std::vector<unsigned char> entry;
    std::vector<unsigned char> data;
};

struct IconFile {
    std::vector<IconImage> images;
};

// Reads the .ico file at path: reserved word 0, type 1, at least one image, every image's data
// inside the file. False with error naming the file and what is wrong.
bool ReadIconFile(const std::string& path, IconFile& icon, std::string& error);

// Replaces the icon group group_id among a program's resources, and the images it names, with
// icon's (in the group's language; the images get the lowest numbers no other image has).
void StampIcon(std::vector<Resource>& resources, uint16_t group_id, const IconFile& icon);
