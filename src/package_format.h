// The package format as the installer reads it: the names, limits and sizes that the installer
// and the package builder (mkpackage) must agree on. The page names live in the installer's page
// table (driver/pages.h), which mkpackage reads too.
#pragma once

#include <cstddef>

// The setting file: its name in the temporary folder, and the member the installer asks the
// archive for (the archive look-up compares "\" and "/" alike; mkpackage stores it with "/").
inline constexpr char kSettingFileName[] = "_$$$setting$$$_.ini";
inline constexpr char kSettingMemberName[] = "$preextractdir$\\_$$$setting$$$_.ini";

// Top-level folder of the archive whose members are pre-extracted only, never installed.
inline constexpr char kPreExtractFolder[] = "$preextractdir$";

// The uninstaller as a pre-extracted file of the package; installed as "chruinst.exe".
inline constexpr char kPackagedUninstaller[] = "chruinst.ex_";

// The page sequence has this many slots; further Dialogs fields are ignored.
inline constexpr int kPageSlots = 11;

// Member names are read into a buffer of this many bytes; longer names are cut.
inline constexpr std::size_t kMaxMemberName = 261;

// Setting-file values are read into a buffer of this many bytes (value and terminating zero).
inline constexpr std::size_t kProfileValueBufferSize = 32770;

// The package builder's seal: the archive's comment is this prefix followed by the SHA-256 of the
// archive's bytes from its first byte to the end of its end-of-central-directory record (the
// comment's length field included, the comment itself not), as 64 lower-case hexadecimal digits.
inline constexpr char kSealPrefix[] = "MarlethSeal SHA-256 ";
inline constexpr std::size_t kSealDigits = 64;
