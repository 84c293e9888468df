// Removing one installation: the files its record lists (relative to its install folder, once
// that folder is confirmed, never outside it and never through a link), the folders of its list
// deepest first when empty, the record itself (with the records of its runs that did not
// complete), its entry in Windows' list of installed programs, and for a complete installation
// its shortcuts, its start-menu group when empty and marleth.rc when that names the character.
// Shows nothing: the flow tells the user what happened.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "uninstaller/installation.h"

struct RemovalOutcome {
    std::vector<std::string> kept;     // files changed since they were installed: left in place
    std::vector<std::string> refused;  // items outside the install folder or behind a link
    std::vector<std::string> damaged;  // items no file can be called: nothing of them is there
    std::vector<std::string> failed;   // files that could not be deleted (in use, no access)
    bool unconfirmed = false;          // the install folder is not confirmed: nothing was removed
    bool record_removed = false;       // uinstall.ini or the run record is gone
    // Everything listed is gone or was kept on purpose, and so is the record.
    bool Complete() const {
        return !unconfirmed && refused.empty() && failed.empty() && record_removed;
    }
};

// Told how far the removal has got: one step per listed item.
class RemovalProgress {
public:
    virtual ~RemovalProgress() = default;
    virtual void Start(size_t steps) = 0;
    virtual void Step(size_t done) = 0;
};

// A file that another record of the same install folder lists: one that stays for the complete
// installation that owns that record (which from then on also takes the content this installation
// wrote there as its own), or content that one of our runs that did not complete wrote there.
struct OtherListing {
    static constexpr size_t kNoOwner = static_cast<size_t>(-1);
    std::string key;      // FileNameKey of the name
    std::string checks;   // what that record says the file holds
    size_t owner = kNoOwner;  // index in RemovalContext::owners; kNoOwner for a run's record
    size_t index = 0;     // the owner's item number
};

struct RemovalContext {
    // Sorted by key.
    std::vector<OtherListing> listings;
    // uinstall.ini of each complete installation that shares the folder, with whether it
    // records checks.
    std::vector<std::pair<std::string, bool>> owners;
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
// the same install folder, what interrupted ones there recorded, and whether one of them shares
// its start-menu group.
RemovalContext ContextAmong(const Installation& installation,
                            const std::vector<Installation>& others);

// True when no file can have the name (characters Windows never allows in one, a control
// character, a broken two-byte character): an item of a damaged list, naming nothing there.
bool NamesNoFile(const std::string& name);
