// Removing one installation: the files its record lists (relative to its install folder, never
// outside it and never through a link), their folders deepest first when empty, the record itself,
// and for a complete installation its shortcuts, its start-menu group when empty and marleth.rc
// when that names the character. Shows nothing: the flow tells the user what happened.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "uninstaller/installation.h"

struct RemovalOutcome {
    std::vector<std::string> kept;     // files changed since they were installed: left in place
    std::vector<std::string> refused;  // items outside the install folder or behind a link
    std::vector<std::string> failed;   // files that could not be deleted
    bool record_removed = false;       // uinstall.ini or the run record is gone
    // Everything listed is gone or was kept on purpose, and so is the record.
    bool Complete() const { return refused.empty() && failed.empty() && record_removed; }
};

// Told how far the removal has got: one step per listed item.
class RemovalProgress {
public:
    virtual ~RemovalProgress() = default;
    virtual void Start(size_t steps) = 0;
    virtual void Step(size_t done) = 0;
};

struct RemovalContext {
    // Items (FileNameKey of their names, sorted) that another installation in the same install
    // folder lists too: they stay for it.
    std::vector<std::string> shared_files;
    // Another installation has its shortcuts in the same start-menu group: the uninstall shortcut
    // (one for the group) stays for it.
    bool keep_uninstall_shortcut = false;
    // This program's own file: never deleted by the removal (the program removes itself when it
    // serves no other installation).
    std::string own_program;
    RemovalProgress* progress = nullptr;
};

RemovalOutcome RemoveInstallation(const Installation& installation, const RemovalContext& context);

// The context for removing installation while others stay: the files that complete ones list in
// the same install folder and whether one of them shares its start-menu group.
RemovalContext ContextAmong(const Installation& installation,
                            const std::vector<Installation>& others);

// A name as a key that ignores the letter case of one-byte letters (the second byte of a
// two-byte character is kept as it is).
std::string FileNameKey(const std::string& name);
