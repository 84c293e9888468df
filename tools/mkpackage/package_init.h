// "mkpackage --init KIND DIR": a starting package that builds into a working installer as it is.
// DIR receives setting.ini (every key the installer reads for the kind, each with a one-line
// comment and its default) and the package folder package\ with a sample agreement text and the
// files the kind needs. The texts are written in UTF-8 with a byte-order mark, as authors' editors
// save them; mkpackage converts them when it builds. Kinds:
//   character  InstallMode 0, into the host's folder, package\Vendor\Type\Vendor-Type.mrl; gets
//              our uninstaller when it is built;
//   plugin     InstallMode 1, into ($MARLETHDIR)\plugin\NAME, with the install-folder page;
//   skin       InstallMode 2: files into the host's folder like a plug-in, nothing registered,
//              and a closing message that names no kind (1 would call the skin a plug-in); into
//              ($MARLETHDIR)\skin\NAME, without the install-folder page: a skin belongs in
//              the host's skin folder, so there is no folder for the user to choose.
#pragma once

#include <string>
#include <vector>

enum class PackageKind { kCharacter, kPlugin, kSkin };

// "character", "plugin" or "skin" (exactly); false for anything else.
bool ParsePackageKind(const std::string& text, PackageKind& kind);

// Writes the starting package of kind into folder, which must be missing or empty (it is created
// when missing). On success written holds the paths written, relative to folder. False with error
// set when the folder holds anything or a file cannot be written; what was written is removed.
bool WriteStartingPackage(PackageKind kind, const std::string& folder,
                          std::vector<std::string>& written, std::string& error);

