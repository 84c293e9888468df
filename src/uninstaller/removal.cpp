// Removing one installation, through checked handles below its install folder.
#include "uninstaller/removal.h"

#include <windows.h>

#include <algorithm>

#include "host/host.h"
#include "package/entry_name.h"
#include "package/package_format.h"
#include "uninstaller/ini_text.h"
#include "utils/contained_files.h"
#include "utils/shell.h"
#include "utils/text.h"

namespace {

constexpr int kMenuEntries = 10;       // MenuPath_0 to MenuPath_9
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
// last stays open (and held against renaming), since the items of one folder follow each other.
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

// "SIZE,CRC" of the check section; false when the text is not that.
bool ParseFileCheck(std::string_view text, uint64_t& size, uint32_t& crc) {
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos || comma == 0 || text.size() - comma - 1 != 8) return false;
    size = 0;
    for (const char c : text.substr(0, comma)) {
        if (c < '0' || c > '9') return false;
        size = size * 10 + static_cast<uint64_t>(c - '0');
    }
    crc = 0;
    for (const char c : text.substr(comma + 1)) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) return false;
        crc = (crc << 4) | static_cast<uint32_t>(digit);
    }
    return true;
}

// The folders to remove when empty: the folders of the removed files and the folder entries,
// each with its parents below the root.
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
        std::vector<std::vector<std::string>> ordered;
        for (const std::string& folder : folders_) ordered.push_back(SplitPath(folder));
        std::sort(ordered.begin(), ordered.end(),
                  [](const auto& a, const auto& b) { return a.size() > b.size(); });
        return ordered;
    }

private:
    bool IsLast(const std::vector<std::string>& parts, size_t count) const {
        return count == last_.size() && std::equal(last_.begin(), last_.end(), parts.begin());
    }

    std::vector<std::string> folders_;
    std::vector<std::string> last_;  // the components of the folder added last
};

// One removal's state: the install folder's walker, the folders to look at afterwards and the
// outcome so far.
class Removal {
public:
    Removal(const Installation& installation, const RemovalContext& context)
        : installation_(installation),
          context_(context),
          own_program_key_(FileNameKey(FileNameOf(context.own_program))) {}

    RemovalOutcome Run() {
        std::string text;
        if (!ReadWholeFile(installation_.record, text)) {
            outcome_.failed.push_back(installation_.record);
            return outcome_;
        }
        if (installation_.kind == InstallationKind::kInterrupted) {
            // A run killed while it appended to its record may have left half a line: a name cut
            // short could name another file.
            const size_t end = text.rfind('\n');
            text.resize(end == std::string::npos ? 0 : end + 1);
        }
        const IniText ini(std::move(text));
        const std::vector<std::string_view> items = ini.Items(kInstalledFileSection);
        const std::vector<std::string_view> checks =
            installation_.has_file_checks ? ini.ItemsByIndex(kInstalledCheckSection, items.size())
                                          : std::vector<std::string_view>();
        const std::vector<std::string> shortcuts = ShortcutsToRemove(ini);

        const Reach root = walker_.OpenRoot(installation_.install_dir);
        if (root != Reach::kOpened && root != Reach::kMissing) {
            outcome_.failed.push_back(installation_.install_dir);
            return outcome_;
        }
        if (context_.progress != nullptr) context_.progress->Start(items.size());
        for (size_t i = 0; i < items.size(); ++i) {
            if (walker_.HasRoot()) RemoveItem(std::string(items[i]), i < checks.size() ? checks[i] : "");
            if (context_.progress != nullptr) context_.progress->Step(i + 1);
        }
        if (!outcome_.failed.empty()) {
            // The record and the shortcuts stay, so that the removal can be tried again.
            RemoveEmptyFolders();
            return outcome_;
        }
        outcome_.record_removed = DeleteRecord();
        RemoveEmptyFolders();
        if (installation_.kind == InstallationKind::kInstalled) {
            RemoveShortcuts(shortcuts);
            RemoveHostRcFile();
        }
        return outcome_;
    }

private:
    void RemoveItem(const std::string& item, std::string_view check) {
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
        if (IsShared(item) || IsOwnProgram(item, parts.back())) return;
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
            if (reach_file == Reach::kWrongKind) outcome_.kept.push_back(item);
            else Note(reach_file, item);
            return;
        }
        if (installation_.has_file_checks && !Unchanged(file, check, item)) return;
        if (!file.Delete()) {
            outcome_.failed.push_back(item);
            return;
        }
        folders_.Add(parts, parts.size() - 1);
    }

    // What an item that could not be reached means for the outcome.
    void Note(Reach reach, const std::string& item) {
        if (reach == Reach::kLink) outcome_.refused.push_back(item);
        else if (reach == Reach::kFailed) outcome_.failed.push_back(item);
        // Missing (or a file where its folder was): nothing of the installation is there.
    }

    // True when the file is as it was installed; otherwise it is noted as kept (or failed).
    bool Unchanged(const CheckedFile& file, std::string_view check, const std::string& item) {
        uint64_t expected_size = 0;
        uint32_t expected_crc = 0;
        if (!ParseFileCheck(check, expected_size, expected_crc)) {
            outcome_.kept.push_back(item);  // nothing to tell it by: it stays
            return false;
        }
        uint64_t size = 0;
        uint32_t crc = 0;
        if (!file.ReadSizeAndCrc(size, crc, buffer_)) {
            outcome_.failed.push_back(item);
            return false;
        }
        if (size == expected_size && crc == expected_crc) return true;
        outcome_.kept.push_back(item);
        return false;
    }

    bool IsShared(const std::string& item) const {
        return !context_.shared_files.empty() &&
               std::binary_search(context_.shared_files.begin(), context_.shared_files.end(),
                                  FileNameKey(ToBackslashes(item)));
    }

    // file_name: the item's last component.
    bool IsOwnProgram(const std::string& item, const std::string& file_name) const {
        if (context_.own_program.empty() || FileNameKey(file_name) != own_program_key_) return false;
        return SamePath(installation_.install_dir + ToBackslashes(item), context_.own_program);
    }

    bool DeleteRecord() {
        const std::string& record = installation_.record;
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
    std::vector<std::string> ShortcutsToRemove(const IniText& ini) const {
        std::vector<std::string> shortcuts;
        if (installation_.kind != InstallationKind::kInstalled) return shortcuts;
        for (int n = 0; n < kMenuEntries; ++n) {
            std::string path;
            if (!ini.Value(kOptionsSection, "MenuPath_" + IntToText(n), path) || path.empty()) break;
            shortcuts.push_back(path);
        }
        if (!context_.keep_uninstall_shortcut) shortcuts.push_back(kUninstallShortcut);
        return shortcuts;
    }

    void RemoveShortcuts(const std::vector<std::string>& shortcuts) {
        const std::string& group = installation_.shortcut_group;
        const std::vector<std::string> group_parts = SplitPath(group);
        if (group_parts.empty() || CheckEntryName(group) != UnsafeName::kSafe) {
            outcome_.refused.push_back(group);
            return;
        }
        const std::string programs = GetProgramsFolder();
        FolderWalker walker;
        if (programs.empty() || walker.OpenRoot(programs) != Reach::kOpened) return;
        for (const std::string& shortcut : shortcuts) {
            if (CheckEntryName(shortcut) != UnsafeName::kSafe) {
                outcome_.refused.push_back(group + "\\" + shortcut);
                continue;
            }
            std::vector<std::string> parts = group_parts;
            for (std::string& part : SplitPath(shortcut)) parts.push_back(std::move(part));
            const CheckedFolder* folder = nullptr;
            CheckedFile file;
            if (walker.Open(parts, parts.size() - 1, folder) == Reach::kOpened &&
                CheckedFile::Open(*folder, parts.back(), file) == Reach::kOpened) {
                file.Delete();
            }
        }
        const CheckedFolder* parent = nullptr;
        if (walker.Open(group_parts, group_parts.size() - 1, parent) == Reach::kOpened) {
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
        const std::string named = FileNameKey(installation_.vendor + "-" + installation_.type + ".mrl");
        int lines = 0;
        bool names_this = false;
        for (const std::string& line : SplitLines(content)) {
            if (line.empty()) continue;
            ++lines;
            names_this = FileNameKey(line) == named;
        }
        if (lines == 1 && names_this) file.Delete();
    }

    static std::vector<std::string> SplitLines(const std::string& text) {
        std::vector<std::string> lines;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            lines.push_back(TrimText(text.substr(start, end - start)));
            start = end + 1;
        }
        return lines;
    }

    const Installation& installation_;
    const RemovalContext& context_;
    const std::string own_program_key_;  // FileNameKey of this program's file name
    RemovalOutcome outcome_;
    FolderWalker walker_;
    FolderSet folders_;
    std::vector<unsigned char> buffer_;
};

}  // namespace

std::string FileNameKey(const std::string& name) {
    std::string key = name;
    for (size_t i = 0; i < key.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(key[i]);
        if (IsLeadByte(c)) {
            ++i;  // the second byte stays as it is
        } else if (c >= 'A' && c <= 'Z') {
            key[i] = static_cast<char>(c + ('a' - 'A'));
        }
    }
    return key;
}

RemovalOutcome RemoveInstallation(const Installation& installation, const RemovalContext& context) {
    return Removal(installation, context).Run();
}

RemovalContext ContextAmong(const Installation& installation,
                            const std::vector<Installation>& others) {
    RemovalContext context;
    for (const Installation& other : others) {
        // Only a complete installation keeps files for itself: a run record lists what a killed
        // run left behind.
        if (other.kind != InstallationKind::kInstalled || SamePath(other.record, installation.record)) {
            continue;
        }
        if (installation.kind == InstallationKind::kInstalled &&
            FileNameKey(other.shortcut_group) == FileNameKey(installation.shortcut_group)) {
            context.keep_uninstall_shortcut = true;
        }
        if (!SamePath(other.install_dir, installation.install_dir)) continue;
        std::string text;
        if (!ReadWholeFile(other.record, text)) continue;
        const IniText ini(std::move(text));
        for (const std::string_view item : ini.Items(kInstalledFileSection)) {
            context.shared_files.push_back(FileNameKey(ToBackslashes(std::string(item))));
        }
    }
    std::sort(context.shared_files.begin(), context.shared_files.end());
    return context;
}
