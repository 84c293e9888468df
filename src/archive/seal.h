// The integrity seal of a package archive: a SHA-256 of the archive's bytes that the package
// builder writes into the archive's comment, and that the installer checks before it shows or
// writes anything, so that a damaged or altered download is refused before it can do harm.
#pragma once

#include <windows.h>

#include <string>

enum class SealState {
    kUnsealed,  // a bare program without an archive, or an archive whose comment is no seal:
                // nothing to check
    kIntact,    // the bytes hash to the seal
    kBroken,    // a seal that the bytes do not match, or that cannot be read or checked; or
                // bytes behind the program (or a file that is no program) holding no archive:
                // a package cut short
};

// Checks the seal of the archive in the open file (behind a program image, before an
// Authenticode signature, or alone). The seal covers the whole file up to the archive's comment
// (but the two header fields that signing rewrites); a sealed archive must end the file, but for
// a signature, and an archive behind a sealed one is refused as broken too.
SealState CheckArchiveSeal(HANDLE file);
// The same for the file at path.
SealState CheckArchiveSeal(const std::string& path);
// A C string would convert to a HANDLE before it became a path.
SealState CheckArchiveSeal(const char* path) = delete;

// For the package builder: the comment to close a new archive with, a seal of the right length
// whose digest SealArchive fills in once every other byte is written.
std::string SealPlaceholder();
// Writes the digest of the file at path, up to its archive's comment, into the archive's
// placeholder seal: the last step of building a package, after the program image is in front
// of the archive. False when the file holds no archive, its comment does not have a seal's
// length, or it cannot be read or written.
bool SealArchive(const std::string& path);
