// Removing one installation, through checked handles below its confirmed install folder.
#include "uninstaller/removal.h"

#include <windows.h>

#include <algorithm>

#include "host/host.h"
#include "package/entry_name.h"
#include "package/ini_text.h"
#include "package/package_format.h"
#include "package/setting_keys.h"
#include "utils/contained_files.h"
#include "utils/files.h"
#include "utils/registry.h"
#include "utils/shell.h"
#include "utils/text.h"

namespace {

constexpr size_t kRcFileLimit = 4096;  // a marleth.rc naming one character is a line long

// The components of a relative path, split at the backslashes and slashes that the character
// walk visits (the second byte of a two-byte character may be 0x5C).
std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < path.size()) {
            part += c;
            part += path[++i];
        } else if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

std::string JoinPath(const std::vector<std::string>& parts, size_t count) {
    std::string path;
    for (size_t i = 0; i < count; ++i) path += (i == 0 ? "" : "\\") + parts[i];
    return path;
}

// Checked folders below a root, opened component by component; the chain to the folder asked for
// last stays open, since the items of one folder follow each other. Each folder of the chain is
// held without delete sharing, so that on Windows nobody can rename or delete it while its files
// go (under Wine, what a Unix program does to the folders is beyond any handle).
class FolderWalker {
public:
    Reach OpenRoot(const std::string& path) {
        chain_.clear();
        return CheckedFolder::OpenRoot(path, root_);
    }

    // The folder at parts[0..count) below the root.
    Reach Open(const std::vector<std::string>& parts, size_t count, const CheckedFolder*& folder) {
        size_t kept = 0;
        while (kept < chain_.size() && kept < count && chain_[kept].name == parts[kept]) ++kept;
        chain_.erase(chain_.begin() + static_cast<std::ptrdiff_t>(kept), chain_.end());
        for (size_t i = kept; i < count; ++i) {
            const CheckedFolder& parent = i == 0 ? root_ : chain_.back().folder;
            Level level;
            level.name = parts[i];
            const Reach reach = parent.OpenChild(parts[i], level.folder);
            if (reach != Reach::kOpened) return reach;
            chain_.push_back(std::move(level));
        }
        folder = count == 0 ? &root_ : &chain_.back().folder;
        return Reach::kOpened;
    }

    bool HasRoot() const { return static_cast<bool>(root_); }
    const CheckedFolder& root() const { return root_; }

private:
    struct Level {
        std::string name;
        CheckedFolder folder;
    };
    CheckedFolder root_;
    std::vector<Level> chain_;
};

// The folders to remove when empty: the folders of every listed item (removed, kept or already
// gone) and the folder entries, each with its parents below the root.
class FolderSet {
public:
    void Add(const std::vector<std::string>& parts, size_t count) {
        // Files of one folder follow each other: a folder added last time brings nothing new.
        if (count == 0 || IsLast(parts, count)) return;
        last_.assign(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(count));
        for (size_t i = 1; i <= count; ++i) folders_.push_back(JoinPath(parts, i));
    }
    // Deepest first, so that a folder is looked at after everything inside it.
    std::vector<std::vector<std::string>> DeepestFirst() {
        std::sort(folders_.begin(), folders_.end());
        folders_.erase(std::unique(folders_.begin(), folders_.end()), folders_.end());
        std::vector<std::vector<std::string>> split;
        size_t deepest = 0;
        for (const std::string& folder : folders_) {
            split.push_back(SplitPath(folder));
            deepest = std::max(deepest, split.back().size());
        }
        std::vector<std::vector<std::string>> ordered;
        for (size_t depth = deepest; depth > 0; --depth) {
            for (std::vector<std::string>& parts : split) {
                if (parts.size() == depth) ordered.push_back(std::move(parts));
            }
        }
        return ordered;
    }

private:
    bool IsLast(const std::vector<std::string>& parts, size_t count) const {
        return count == last_.size() && std::equal(last_.begin(), last_.end(), parts.begin());
    }

    std::vector<std::string> folders_;
    std::vector<std::string> last_;  // the components of the folder added last
};

bool Contains(const std::vector<std::string>& sorted, const std::string& key) {
    return std::binary_search(sorted.begin(), sorted.end(), key);
}

bool ByKey(const OtherListing& a, const OtherListing& b) {
    return a.key < b.key;
}

// One removal's state: the install folder's walker, the folders to look at afterwards and the
// outcome so far.
class Removal {
public:
    Removal(const Installation& installation, const RemovalContext& context)
        : installation_(installation),
          context_(context),
          own_program_key_(FileNameKey(FileNameOf(context.own_program))) {}

    RemovalOutcome Run() {
        std::vector<RecordedEntry> entries;
        if (!ReadEntries(installation_, entries, partial_)) {
            outcome_.failed.push_back(installation_.record);
            return outcome_;
        }
        std::sort(partial_.begin(), partial_.end());
        // What the record and the runs it took in say of each file, beside what others say: a
        // file may be listed twice (by uinstall.ini and by a killed upgrade's record).
        listings_ = context_.listings;
        for (const RecordedEntry& entry : entries) {
            if (!entry.checks.empty()) {
                listings_.push_back({FileNameKey(ToBackslashes(entry.name)), entry.checks,
                                     OtherListing::kNoOwner, entry.index});
            }
        }
        std::sort(listings_.begin(), listings_.end(), ByKey);
        // Nothing is touched in a folder the installation does not confirm as its own.
        if (!ConfirmsFolder(installation_, installation_.install_dir, entries)) {
            outcome_.unconfirmed = true;
            return outcome_;
        }
        const std::vector<std::string> shortcuts = ShortcutsToRemove();
        const Reach root = walker_.OpenRoot(installation_.install_dir);
        if (root != Reach::kOpened && root != Reach::kMissing) {
            outcome_.failed.push_back(installation_.install_dir);
            return outcome_;
        }
        if (context_.progress != nullptr) context_.progress->Start(entries.size());
        // The character file goes last: while anything else stays, it still confirms the folder.
        const std::string character = FileNameKey(installation_.CharacterFileName());
        std::vector<size_t> last;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (FileNameKey(FileNameOf(ToBackslashes(entries[i].name))) == character) {
                last.push_back(i);
            } else {
                RemoveItem(entries[i]);
            }
            if (context_.progress != nullptr) context_.progress->Step(i + 1);
        }
        for (const size_t i : last) {
            if (outcome_.failed.empty()) RemoveItem(entries[i]);
            else AddFolders(entries[i].name);
        }
        HandOverChecks();
        if (!outcome_.failed.empty()) {
            // The record and the shortcuts stay, so that the removal can be tried again.
            RemoveEmptyFolders();
            return outcome_;
        }
        // Items that can never be removed (outside the folder, behind a link, no file's name)
        // do not hold the record: trying again could not change them.
        outcome_.record_removed = DeleteRecords();
        RemoveEmptyFolders();
        if (outcome_.record_removed && installation_.kind == InstallationKind::kInstalled) {
            RemoveListEntry();
            RemoveShortcuts(shortcuts);
            RemoveHostRcFile();
        }
        return outcome_;
    }

private:
    void RemoveItem(const RecordedEntry& entry) {
        const std::string& item = entry.name;
        if (NamesNoFile(item)) {
            outcome_.damaged.push_back(item);
            return;
        }
        if (CheckEntryName(item) != UnsafeName::kSafe) {
            outcome_.refused.push_back(item);
            return;
        }
        const std::vector<std::string> parts = SplitPath(item);
        if (parts.empty()) return;
        if (IsDelimiterAt(item, static_cast<int>(item.size()))) {  // a folder entry
            folders_.Add(parts, parts.size());
            return;
        }
        folders_.Add(parts, parts.size() - 1);
        const std::string key = FileNameKey(ToBackslashes(item));
        const OtherListing* shared = SharedWith(key);
        if (IsOwnProgram(item, parts.back())) return;
        const CheckedFolder* folder = nullptr;
        const Reach reach_folder = walker_.Open(parts, parts.size() - 1, folder);
        if (reach_folder != Reach::kOpened) {
            Note(reach_folder, item);
            return;
        }
        CheckedFile file;
        const Reach reach_file = CheckedFile::Open(*folder, parts.back(), file);
        if (reach_file != Reach::kOpened) {
            // A folder where the file was: the user put it there.
            if (reach_file == Reach::kWrongKind && shared == nullptr) outcome_.kept.push_back(item);
            else Note(reach_file, item);
            if (reach_file == Reach::kMissing) RemovePartFile(*folder, parts.back(), key);
            return;
        }
        if (shared != nullptr) {
            NoteHandOver(file, entry, key, *shared);
            return;
        }
        if (!IsOurs(file, entry, key)) return;
        if (!file.Delete()) outcome_.failed.push_back(item);
        file.reset();
        RemovePartFile(*folder, parts.back(), key);
    }

    void AddFolders(const std::string& item) {
        const std::vector<std::string> parts = SplitPath(item);
        if (!parts.empty()) folders_.Add(parts, parts.size() - 1);
    }

    // What an item that could not be reached means for the outcome.
    void Note(Reach reach, const std::string& item) {
        if (reach == Reach::kLink) outcome_.refused.push_back(item);
        else if (reach == Reach::kFailed) outcome_.failed.push_back(item);
        // Missing (or a file where its folder was): nothing of the installation is there.
    }

    // The checks that say the file holds content of ours: the record's own, and what runs of ours
    // that did not complete recorded for the same name in this folder.
    std::vector<FileCheck> KnownChecks(const RecordedEntry& entry, const std::string& key) const {
        std::vector<FileCheck> checks;
        ParseFileChecks(entry.checks, checks);
        for (const OtherListing* other = FirstListing(key);
             other != nullptr && other < Listings().data() + Listings().size() && other->key == key;
             ++other) {
            if (other->owner == OtherListing::kNoOwner) ParseFileChecks(other->checks, checks);
        }
        return checks;
    }

    // True when the file may go: it holds what one of our installations wrote to it. Otherwise it
    // is noted as kept (or as failed when it cannot be read).
    bool IsOurs(const CheckedFile& file, const RecordedEntry& entry, const std::string& key) {
        const std::vector<FileCheck> checks = KnownChecks(entry, key);
        const bool checked = installation_.kind == InstallationKind::kInstalled
                                 ? installation_.has_file_checks
                                 : !entry.checks.empty();
        // An older uinstall.ini, or a run record's line written before its check: the folder is
        // confirmed, and nothing else tells what was written.
        if (!checked && checks.empty()) return true;
        FileCheck there;
        if (!file.ReadSizeAndCrc(there.size, there.crc, buffer_)) {
            outcome_.failed.push_back(entry.name);
            return false;
        }
        for (const FileCheck& check : checks) {
            if (check == there) return true;
        }
        // The member a run was writing when it ended: what is there is a part of it.
        if (Contains(partial_, key)) {
            for (const FileCheck& check : checks) {
                if (there.size <= check.size) return true;
            }
        }
        outcome_.kept.push_back(entry.name);
        return false;
    }

    // A file that stays for another installation: when it holds what this one wrote there, that
    // content becomes the other's too, so that it goes with the last installation that lists it.
    void NoteHandOver(const CheckedFile& file, const RecordedEntry& entry, const std::string& key,
                      const OtherListing& shared) {
        if (!context_.owners[shared.owner].second) return;  // an older record checks nothing
        FileCheck there;
        if (!file.ReadSizeAndCrc(there.size, there.crc, buffer_)) return;
        std::vector<FileCheck> owners;
        ParseFileChecks(shared.checks, owners);
        if (std::find(owners.begin(), owners.end(), there) != owners.end()) return;
        const std::vector<FileCheck> ours = KnownChecks(entry, key);
        if (std::find(ours.begin(), ours.end(), there) == ours.end()) return;
        hand_overs_.resize(context_.owners.size());
        hand_overs_[shared.owner].emplace_back(shared.index, FileChecksText({there}));
    }

    void HandOverChecks() {
        for (size_t owner = 0; owner < hand_overs_.size(); ++owner) {
            if (hand_overs_[owner].empty()) continue;
            const std::string& record = context_.owners[owner].first;
            std::string text;
            if (ReadWholeFile(record, text)) {
                WriteReplacing(record, WithAddedChecks(text, hand_overs_[owner]));
            }
        }
    }

    // What a run that ended while it replaced the file left beside it.
    void RemovePartFile(const CheckedFolder& folder, const std::string& name, const std::string& key) {
        if (!Contains(partial_, key)) return;
        CheckedFile part;
        if (CheckedFile::Open(folder, name + FileReplacement::kPartSuffix, part) == Reach::kOpened) {
            part.Delete();
        }
    }

    const std::vector<OtherListing>& Listings() const { return listings_; }

    // The first listing of key, or nullptr.
    const OtherListing* FirstListing(const std::string& key) const {
        const auto found = std::lower_bound(
            Listings().begin(), Listings().end(), key,
            [](const OtherListing& listing, const std::string& k) { return listing.key < k; });
        return found != Listings().end() && found->key == key ? &*found : nullptr;
    }

    // The complete installation's listing that keeps the file, or nullptr.
    const OtherListing* SharedWith(const std::string& key) const {
        for (const OtherListing* other = FirstListing(key);
             other != nullptr && other < Listings().data() + Listings().size() && other->key == key;
             ++other) {
            if (other->owner != OtherListing::kNoOwner) return other;
        }
        return nullptr;
    }

    // file_name: the item's last component.
    bool IsOwnProgram(const std::string& item, const std::string& file_name) const {
        if (context_.own_program.empty() || FileNameKey(file_name) != own_program_key_) return false;
        return SamePath(installation_.install_dir + ToBackslashes(item), context_.own_program);
    }

    bool DeleteRecord(const std::string& record) {
        std::string relative;
        if (IsInsideFolder(FolderOf(record), installation_.install_dir, relative)) {
            const std::vector<std::string> parts = SplitPath(relative);
            folders_.Add(parts, parts.size());
        }
        CheckedFolder folder;
        if (CheckedFolder::OpenRoot(FolderOf(record), folder) != Reach::kOpened) return false;
        CheckedFile file;
        const Reach reach = CheckedFile::Open(folder, FileNameOf(record), file);
        return reach == Reach::kMissing || (reach == Reach::kOpened && file.Delete());
    }

    // The record, and the records of runs that did not complete, which it took in.
    bool DeleteRecords() {
        bool removed = DeleteRecord(installation_.record);
        for (const std::string& record : installation_.run_records) {
            removed = DeleteRecord(record) && removed;
        }
        return removed;
    }

    // The entry in Windows' list of installed programs, when it names this record.
    void RemoveListEntry() {
        const std::string key = UninstallEntryKey(installation_.record);
        UniqueHKey entry = OpenRegKey(HKEY_CURRENT_USER, key, KEY_READ);
        if (!entry || !SamePath(ReadRegString(entry.get(), kUninstallInfoValue, ""), installation_.record)) {
            return;
        }
        entry.reset();
        RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    }

    void RemoveEmptyFolders() {
        if (!walker_.HasRoot()) return;
        for (const std::vector<std::string>& parts : folders_.DeepestFirst()) {
            const CheckedFolder* parent = nullptr;
            if (walker_.Open(parts, parts.size() - 1, parent) == Reach::kOpened) {
                RemoveEmptyChildFolder(*parent, parts.back());
            }
        }
    }

    // The shortcut files below the group folder: the package's (MenuPath_0 to MenuPath_9, up to
    // the first empty one), then the uninstall shortcut unless another installation needs it.
    // Read before the record goes.
    std::vector<std::string> ShortcutsToRemove() const {
        std::vector<std::string> shortcuts;
        std::string text;
        if (installation_.kind != InstallationKind::kInstalled ||
            !ReadWholeFile(installation_.record, text)) {
            return shortcuts;
        }
        const IniText ini(std::move(text));
        for (int n = 0; n < kMenuEntries; ++n) {
            std::string path;
            if (!ini.Value(kOptionsSection, kMenuPathKey + IntToText(n), path) || path.empty()) break;
            shortcuts.push_back(path);
        }
        if (!context_.keep_uninstall_shortcut) shortcuts.push_back(kUninstallShortcut);
        return shortcuts;
    }

    void RemoveShortcuts(const std::vector<std::string>& shortcuts) {
        // An empty group: the installer put the shortcuts into the Programs folder itself.
        const std::string& group = installation_.shortcut_group;
        const std::vector<std::string> group_parts = SplitPath(group);
        if ((!group.empty() && group_parts.empty()) || CheckEntryName(group) != UnsafeName::kSafe) {
            outcome_.refused.push_back(group);
            return;
        }
        const std::string programs = GetProgramsFolder();
        FolderWalker walker;
        if (programs.empty() || walker.OpenRoot(programs) != Reach::kOpened) return;
        for (const std::string& shortcut : shortcuts) {
            if (CheckEntryName(shortcut) != UnsafeName::kSafe) {
                outcome_.refused.push_back(JoinText({group, "\\", shortcut}));
                continue;
            }
            std::vector<std::string> parts = group_parts;
            for (std::string& part : SplitPath(shortcut)) parts.push_back(std::move(part));
            const CheckedFolder* folder = nullptr;
            CheckedFile file;
            if (!parts.empty() && walker.Open(parts, parts.size() - 1, folder) == Reach::kOpened &&
                CheckedFile::Open(*folder, parts.back(), file) == Reach::kOpened) {
                file.Delete();
            }
        }
        const CheckedFolder* parent = nullptr;
        if (!group_parts.empty() &&
            walker.Open(group_parts, group_parts.size() - 1, parent) == Reach::kOpened) {
            RemoveEmptyChildFolder(*parent, group_parts.back());
        }
    }

    // marleth.rc in the install folder, when it names this character and nothing else.
    void RemoveHostRcFile() {
        if (!walker_.HasRoot()) return;
        CheckedFile file;
        std::string content;
        if (CheckedFile::Open(walker_.root(), kHostRcFileName, file) != Reach::kOpened ||
            !file.ReadSmall(kRcFileLimit, content)) {
            return;
        }
        const std::string named = FileNameKey(installation_.CharacterFileName());
        int lines = 0;
        bool names_this = false;
        for (size_t start = 0; start <= content.size();) {
            size_t end = content.find('\n', start);
            if (end == std::string::npos) end = content.size();
            const std::string line = TrimText(content.substr(start, end - start));
            start = end + 1;
            if (line.empty()) continue;
            ++lines;
            names_this = FileNameKey(line) == named;
        }
        if (lines == 1 && names_this) file.Delete();
    }

    const Installation& installation_;
    const RemovalContext& context_;
    const std::string own_program_key_;  // FileNameKey of this program's file name
    RemovalOutcome outcome_;
    FolderWalker walker_;
    FolderSet folders_;
    std::vector<unsigned char> buffer_;
    std::vector<std::string> partial_;  // keys of the members runs may have been writing
    std::vector<OtherListing> listings_;  // the context's and this record's, by key
    // By owner: the items whose content this installation wrote, with that content.
    std::vector<std::vector<std::pair<size_t, std::string>>> hand_overs_;
};

}  // namespace

bool NamesNoFile(const std::string& name) {
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (IsLeadByte(c)) {
            if (i + 1 >= name.size()) return true;  // a character cut in half
            ++i;
            continue;
        }
        if (c < 0x20 || c == '"' || c == '*' || c == '<' || c == '>' || c == '?' || c == '|') {
            return true;
        }
    }
    return CheckEntryName(name) == UnsafeName::kBrokenCharacter;
}

RemovalOutcome RemoveInstallation(const Installation& installation, const RemovalContext& context) {
    return Removal(installation, context).Run();
}

RemovalContext ContextAmong(const Installation& installation,
                            const std::vector<Installation>& others) {
    RemovalContext context;
    for (const Installation& other : others) {
        if (SamePath(other.record, installation.record)) continue;
        const bool complete = other.kind == InstallationKind::kInstalled;
        if (complete && installation.kind == InstallationKind::kInstalled &&
            FileNameKey(other.shortcut_group) == FileNameKey(installation.shortcut_group)) {
            context.keep_uninstall_shortcut = true;
        }
        if (!SamePath(other.install_dir, installation.install_dir)) continue;
        std::vector<RecordedEntry> entries;
        std::vector<std::string> partial;
        Installation only_its_record = other;
        only_its_record.run_records.clear();
        if (!ReadEntries(only_its_record, entries, partial)) continue;
        size_t owner = OtherListing::kNoOwner;
        // A run that did not complete keeps nothing for itself; what it wrote is ours.
        if (complete) {
            owner = context.owners.size();
            context.owners.emplace_back(other.record, other.has_file_checks);
        }
        for (RecordedEntry& entry : entries) {
            if (owner == OtherListing::kNoOwner && entry.checks.empty()) continue;
            context.listings.push_back({FileNameKey(ToBackslashes(entry.name)),
                                        std::move(entry.checks), owner, entry.index});
        }
    }
    std::sort(context.listings.begin(), context.listings.end(), ByKey);
    return context;
}
