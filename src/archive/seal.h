// The integrity seal of a package archive: a SHA-256 of the archive's bytes that the package
// builder writes into the archive's comment, and that the installer checks before it shows or
// writes anything, so that a damaged or altered download is refused before it can do harm.
#pragma once

#include <string>

enum class SealState {
    kUnsealed,  // no archive found, or its comment is not a seal: nothing to check
    kIntact,    // the bytes hash to the seal
    kBroken,    // a seal that the bytes do not match, or that cannot be read or checked
};

// Checks the seal of the archive in the file at path (behind a program image, before an
// Authenticode signature, or alone).
SealState CheckArchiveSeal(const std::string& path);

// For the package builder: the comment to close a new archive with, a seal of the right length
// whose digest SealArchive fills in once every other byte is written.
std::string SealPlaceholder();
// Writes the digest of the archive at path into its placeholder seal; false when the file
// holds no archive, its comment does not have a seal's length, or it cannot be read or written.
bool SealArchive(const std::string& path);
