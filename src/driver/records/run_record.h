// What an installation records for its undoing while it runs and when it ends: the run record in
// the install folder, which lists each member before anything of it is written and stays behind
// whenever the run does not complete, and the list of installed files (with what was written to
// each) that becomes part of uinstall.ini.
#pragma once

#include <string>
#include <vector>

#include "archive/zarchive.h"
#include "package/install_record.h"
#include "utils/files.h"
#include "utils/unique_any.h"

struct TInstallOptions;

// The record of the run: a file of the install folder named after the package (RunRecordName),
// made anew when the extraction starts. A run that completes removes it (Finish); a run that
// stops or fails closes it, and it stays listing every member this run began to write after
// those an earlier stopped run listed: the uninstaller removes them, and the next run of the
// package asks whether to go on with it.
class RunRecord : public TZlibArchiver::Recorder {
public:
    RunRecord() = default;
    // Closes the record; one that lists nothing is removed, it would tell nothing.
    ~RunRecord();
    RunRecord(const RunRecord&) = delete;
    RunRecord& operator=(const RunRecord&) = delete;

    // The record's path in the run's install folder (InstallDir, as the extraction resolved it).
    static std::string PathFor(const TInstallOptions& o);
    // Takes the record's place in the install folder and reads the entries an earlier run that
    // did not complete left at its name, when that is a file of its own: never read through a
    // link, whatever that leads to is nobody's record.
    std::vector<RecordedEntry> ReadLeft();
    // Creates the record anew, listing the entries taken over first: whatever stands at its name
    // is removed as itself (a link as a link), never opened through. False when the install
    // folder cannot be written; when something at the name stays, the run goes on without a
    // record.
    bool Start(const std::vector<RecordedEntry>& taken_over);
    // Appends the member and writes it out at once, before the member's file is created: a run
    // killed at any point leaves every file it wrote listed. False after the write-failure box.
    bool BeforeWrite(const std::string& entry_name, const TZlibArchiver::EntryData& entry) override;
    // The run completed: what the record lists is recorded for good (uinstall.ini) or needs no
    // undoing; the record goes.
    void Finish();

private:
    bool Write(const std::string& text);

    std::string path_;
    // What an earlier run left at the name, in the install folder, until this run's record
    // replaces it.
    CheckedFolder folder_;
    CheckedFile left_;
    UniqueFile file_;
    size_t count_ = 0;
};

// The installed entries of the run with what was written to each, and after them those that
// earlier records list and this run did not bring: written into the setting file's INSTALLEDFILE
// and INSTALLEDFILECHECK sections when the extraction completes (in one go each: key by key
// would rewrite the whole file each time, quadratic in the number of entries).
class InstalledFileList {
public:
    explicit InstalledFileList(const std::string& install_dir) : writer_(install_dir) {}

    void Add(const std::string& entry_name, const TZlibArchiver::EntryData& entry);
    // Adds those of an earlier record's entries (a stopped run's, an earlier installation's) that
    // are not listed yet.
    void AddEarlier(const std::vector<RecordedEntry>& entries);
    // Writes both sections into the setting file; false when it could not be written.
    bool Save(const std::string& setting_file);

private:
    InstalledListWriter writer_;
    // A 64-bit hash of the FileNameKey of each entry listed: what tells an earlier entry this run
    // lists already, in an eighth of the memory of the names.
    std::vector<uint64_t> listed_;
};

// The entries an earlier run left whose content nobody recorded (a record of an older installer)
// get the size and CRC-32 of the file there now, which that run wrote.
void CheckUnchecked(const std::string& install_dir, std::vector<RecordedEntry>& entries);
// The entries of an earlier installation in install_dir that are still there, those its record
// knows no content of with what they hold now. Whether a file is still as installed is the
// uninstaller's to tell, by the checks carried with it.
std::vector<RecordedEntry> EntriesStillThere(const std::string& install_dir,
                                             std::vector<RecordedEntry> entries);
