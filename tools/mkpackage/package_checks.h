// Checks of a package as the host and the installer's pages will see it, beyond what the
// installer's own reading refuses: a package with nothing to install, a character the host cannot
// find, shortcuts to files the package does not bring, a signed installer as the stub, agreement
// lines wider than the agreement field.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "package_members.h"
#include "package_settings.h"

// The agreement field (IDD_LICENSE's IDC_LICENSE_TEXT) is 294 dialog units wide in 9-point
// ＭＳ ゴシック, a fixed-pitch font: a one-byte Shift-JIS character is 4 units wide, a two-byte one
// 8, so a line's width in half-width columns is its byte count. 294 units are 73 columns; the
// vertical scroll bar (17 pixels at 96 dpi, 11 units), the border and the field's margins take
// about 5 of them. The field neither wraps nor has a horizontal scroll bar: what lies beyond the
// 68th column is seen only by moving the caret there.
inline constexpr size_t kAgreementColumns = 68;
// The field's tab stops: every 32 dialog units, 8 columns.
inline constexpr size_t kAgreementTabColumns = 8;

// A message when the package folder holds nothing to install (package_count members).
void CheckNotEmpty(const std::string& package_dir, size_t package_count,
                   std::vector<std::string>& problems);

// For a character package (InstallMode 0): Vendor and Type must be set, and the package members
// must hold Vendor\Type\Vendor-Type.mrl, where the host looks for the character it is told about.
void CheckCharacterFile(const PackageSettings& settings, const std::vector<PackageMember>& members,
                        size_t package_count, std::vector<std::string>& problems);

// A warning for each shortcut target or icon (relative to the install folder) that is not among
// the package members and is not the host program: the shortcut would point at nothing unless the
// file is there already.
void CheckShortcutFiles(const PackageSettings& settings, const std::vector<PackageMember>& members,
                        size_t package_count, std::vector<std::string>& warnings);

// A message when the installer program carries an Authenticode signature: appending the archive
// breaks it, so the built installer would carry a signature that no longer matches.
void CheckUnsignedInstaller(const std::string& path, std::vector<std::string>& problems);

// The width of a Shift-JIS line in the agreement field's columns (tabs to the next stop).
size_t AgreementColumns(const std::string& line);

// A warning for each line of the agreement text (Shift-JIS, as packed) wider than the field,
// naming path (the author's file) and the line; after a few, one warning counts the rest.
void CheckAgreementWidth(const std::string& text, const std::string& path,
                         std::vector<std::string>& warnings);

// CheckAgreementWidth for the agreement text, when Dialogs shows its page: the pre-extract member
// among members[first, end) that [LICENSEAGREE] Text names, read from the author's file (before
// the texts are pointed at their converted copies) and taken as the installer will read it.
void CheckAgreementText(const PackageSettings& settings, const std::vector<PackageMember>& members,
                        size_t first, std::vector<std::string>& warnings);
