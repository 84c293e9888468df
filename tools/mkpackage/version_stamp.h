// The author's product stamped into a built installer: the copy of setup.exe gets a version
// resource naming the author's product, version and publisher in place of the project's own, so
// that the file's properties (and a signing tool) show the package rather than the installer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "resource_update.h"

// What the version resource names. The texts are Shift-JIS, as the setting file and the command
// line give them.
struct ProductStamp {
    std::array<uint16_t, 4> version{};  // major, minor, build, revision
    std::string product_name;           // ProductName and FileDescription
    std::string publisher;              // CompanyName; left out when empty
};

// Reads "1", "1.2", "1.2.3" or "1.2.3.4" (decimal, each part 0 to 65535; missing parts are 0).
bool ParseProductVersion(const std::string& text, std::array<uint16_t, 4>& version);

// The version as the strings of the resource give it: always four parts ("1.2.0.0").
std::string VersionText(const std::array<uint16_t, 4>& version);

// The VS_VERSIONINFO structure of the stamp: fixed file info with the version as both file and
// product version, one string table "041103a4" (Japanese, code page 932) and its translation.
std::vector<unsigned char> BuildVersionInfo(const ProductStamp& stamp);

// Replaces the version resource (id 1) among a program's resources with the stamp's, in the
// language the program's own one has (Japanese when it has none).
void StampProduct(std::vector<Resource>& resources, const ProductStamp& stamp);
