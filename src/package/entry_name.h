// The rule for the names of package entries, shared by the programs that meet them: what the
// extractor refuses to write, the package builder refuses to pack and the uninstaller refuses to
// delete. A name is relative to the install folder, with "/" or "\" between its parts.
#pragma once

#include <string>

// Why an entry name must not be used: anything that could reach outside the install folder or
// somewhere other than a plain file under it. kSafe for a name that may be used.
enum class UnsafeName {
    kSafe,
    kLeadingSeparator,    // begins with "/" or "\"
    kParentStep,          // holds "../" or "..\"
    kDotComponent,        // a folder or file name "." or ".." (not followed by a separator)
    kTrailingDotOrBlank,  // a folder or file name ending in "." or " ", which Windows drops
    kDeviceName,          // CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9, LPT1-9
    kColon,               // a drive or a data stream
    kControlCharacter,    // a byte below 0x20
    kBrokenCharacter,     // a lead byte without a valid second byte
};

UnsafeName CheckEntryName(const std::string& name);
