// TZlibArchiver: turns the members of the installer's ZIP archive into files on disk, with the
// name safety check, folder creation, the overwrite question, member times and a Japanese error
// message for every failure.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "archive/zip_reader.h"
#include "package/entry_name.h"
#include "utils/unique_any.h"

class TZlibArchiver {
public:
    // With held_file (the archive's file, held open by the caller: HoldArchiveFile), the
    // archive is read from it instead of from whatever archive_path names by then.
    explicit TZlibArchiver(const std::string& archive_path,
                           HANDLE held_file = INVALID_HANDLE_VALUE);
    // Opens the archive's file for reading, sharing reading only, into held: while it is held
    // nobody can write, rename or delete the file. False after the open-failure box.
    static bool HoldArchiveFile(const std::string& archive_path, UniqueFile& held);
    virtual ~TZlibArchiver();
    TZlibArchiver(const TZlibArchiver&) = delete;
    TZlibArchiver& operator=(const TZlibArchiver&) = delete;

    // Only the value 1 switches the behaviour on.
    void SetKeepFolders(uint8_t value) { keep_folders_ = value; }
    void SetConfirmOverwrite(uint8_t value) { confirm_overwrite_ = value; }

    // Opens the archive for a sequential pass: the entry count, or 0 (after an error box).
    int OpenArchive();
    // Extracts the current member into destination (a folder path ending in a backslash).
    // 0: failure (after an error box); 1: extracted, the next member is current;
    // -1: the last member was extracted and the archive has been closed.
    int ExtractNext(std::string& entry_name, const std::string& destination);
    // Ends a pass that stopped early; true when the reader's close succeeded.
    bool CloseArchive();
    // Opens the archive, extracts the named member (backslashes or slashes, any letter case)
    // and closes the archive again. With held set, the extracted file is kept open for reading,
    // sharing reading only, and checked through that handle against the member's size and CRC:
    // from then on nobody can change, replace or delete it until held is closed.
    bool ExtractFile(const std::string& member_name, const std::string& destination,
                     UniqueFile* held = nullptr);
    // Extracts the current member; 0 on success (also for a folder member or a skipped
    // overwrite), any other value on failure after an error box, with the thread's last error
    // telling why (ERROR_CRC for damaged data, ERROR_INVALID_NAME for a refused name).
    int ExtractCurrent(std::string& entry_name, const std::string& destination);

    // The rule for member names, shared with the package builder and the uninstaller.
    using UnsafeName = ::UnsafeName;
    static UnsafeName CheckEntryName(const std::string& name) { return ::CheckEntryName(name); }
    static bool IsUnsafeEntryName(const std::string& name) {
        return CheckEntryName(name) != UnsafeName::kSafe;
    }
    // What the archive says of the member extracted last (by ExtractNext or ExtractCurrent): its
    // data was checked against these when it was written.
    struct EntryData {
        bool folder = false;  // a folder entry: no data
        uint64_t size = 0;
        uint32_t crc = 0;
    };
    const EntryData& LastEntry() const { return last_entry_; }

    // Told of each member of ExtractNext and ExtractCurrent once its name has passed the check
    // and before anything of it is written, so that a record of the run lists a member before it
    // is on the disk. False ends the member as a failure (the recorder has said why).
    class Recorder {
    public:
        virtual bool BeforeWrite(const std::string& entry_name, const EntryData& entry) = 0;

    protected:
        ~Recorder() = default;
    };
    void SetRecorder(Recorder* recorder) { recorder_ = recorder; }

    int EntryCount() const { return static_cast<int>(reader_.EntryCount()); }
    // The sum of the members' uncompressed sizes, as the open archive declares them, and the
    // largest of them.
    uint64_t DeclaredSize() const { return reader_.Layout().declared_size; }
    uint64_t LargestSize() const { return reader_.Layout().largest_size; }
    // The disk space that extracting the open archive's first count members into destination
    // takes at its peak: their sizes, less those of the files they replace, plus the largest
    // member that replaces a file (written beside it, the file goes only then). Looks at every
    // target; leaves the first member current.
    uint64_t SpaceNeeded(const std::string& destination, int count);

private:
    // Creates the folder with its parents unless it is the one checked last time.
    static void EnsureFolder(const std::string& folder, std::string& checked);
    // Opens the archive and checks its layout; false when either fails.
    bool OpenReader();
    // Where the member name goes below destination (the folders made as needed; with
    // keep_folders_ 0, straight into destination).
    std::string TargetOf(const std::string& name, const std::string& destination);
    // Writes the open member to target beside any file there and puts it in place once complete
    // and checked: 0, or a failure after its box.
    int WriteMember(const ZipMember& member, const std::string& target);
    // Reads the open member into the file; 0 or kFailed after its error box.
    int CopyMember(const ZipMember& member, HANDLE file, const std::string& target);
    // Opens the placed member's file into *held_ and checks it is the member.
    bool HoldPlacedFile(const ZipMember& member, const std::string& target);

    std::string archive_path_;
    HANDLE held_file_;  // the caller's
    uint8_t keep_folders_ = 1;
    uint8_t confirm_overwrite_ = 0;
    ZipReader reader_;
    std::string checked_destination_;  // destination folder found or created last
    std::string checked_folder_;       // member folder found or created last
    UniqueFile* held_ = nullptr;       // where ExtractFile's caller takes the member's file
    EntryData last_entry_;
    Recorder* recorder_ = nullptr;
};
