// Large packages: ZIP64 archives of 65,536 and 100,000 entries, made by mkpackage and by Python's
// zipfile, appended to the installer and as separate archives. Every archive is read member by
// member through the installer's reader; the real installer installs them completely.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include "archive/seal.h"
#include "archive/zarchive.h"
#include "archive/zip_reader.h"
#include "driver/flow/installer_mutex.h"
#include "support/installer_driver.h"
#include "support/saved_registry_key.h"
#include "support/test_support.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/registry.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

// What make_large_fixtures.py writes: file i is dNNN/fNNNNNN.txt, 300 files a folder, holding
// its number; the setting file is the last member.
constexpr int kFilesPerFolder = 300;
const char kSettingMember[] = "$preextractdir$/_$$$setting$$$_.ini";
const char kFinished[] = "\"大きなパッケージ\"プラグインのインストールが終了しました。";

std::string MemberName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "d%03d/f%06d.txt", i / kFilesPerFolder, i);
    return name;
}

std::string Content(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "%06d\r\n", i);
    return text;
}

std::string Fixtures() {
    return FullPath(TestBinDir() + "..\\test-data\\large") + "\\";
}

// Room the packages and their installed files take (four installs of 4 KB blocks), with margin.
constexpr uint64_t kWorkBytes = 4ull << 30;

// Where the packages are built and installed: the folder in memory (tmpfs) that ctest names in
// LARGE_TEST_MEMORY_FOLDER (a Linux path) when it has room, else beside the fixtures. ctest
// empties both before and after the test with a native command: Wine would take minutes to
// delete the installed files one by one.
std::string ChooseWork() {
    char memory[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("LARGE_TEST_MEMORY_FOLDER", memory, sizeof memory);
    if (length > 0 && length < sizeof memory) {
        const std::string folder = "Z:" + ToBackslashes(memory) + "\\";
        ULARGE_INTEGER free_bytes{};
        if (GetDiskFreeSpaceExA(FolderOf(StripTrailingDelimiter(folder)).c_str(), &free_bytes,
                                nullptr, nullptr) &&
            free_bytes.QuadPart >= kWorkBytes) {
            return folder;
        }
    }
    return FullPath(TestBinDir() + "..\\test-data\\large-work") + "\\";
}

std::string Work() {
    static const std::string work = ChooseWork();
    return work;
}

uint64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Writes the bytes of source from offset on, then appends the rest of sources, into target.
bool JoinFiles(const std::string& target, const std::vector<std::string>& sources,
               uint64_t first_offset = 0) {
    UniqueFile out(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return false;
    std::vector<char> buffer(1 << 16);
    for (size_t k = 0; k < sources.size(); ++k) {
        UniqueFile in(CreateFileA(sources[k].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
        if (!in) return false;
        if (k == 0) {
            LARGE_INTEGER distance{};
            distance.QuadPart = static_cast<LONGLONG>(first_offset);
            if (!SetFilePointerEx(in.get(), distance, nullptr, FILE_BEGIN)) return false;
        }
        DWORD read = 0;
        while (ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
               read > 0) {
            DWORD written = 0;
            if (!WriteFile(out.get(), buffer.data(), read, &written, nullptr) || written != read) {
                return false;
            }
        }
    }
    return out.close();
}

// Every file under root: relative path (backslashes) and size.
void ListFiles(const std::string& root, const std::string& relative,
               std::map<std::string, uint64_t>& out) {
    WIN32_FIND_DATAA found{};
    UniqueFindHandle find(FindFirstFileA((root + relative + "*").c_str(), &found));
    if (!find) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ListFiles(root, relative + name + "\\", out);
        } else {
            out[relative + name] = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) |
                                   found.nFileSizeLow;
        }
    } while (FindNextFileA(find.get(), &found));
}

struct Archive {
    const char* maker;  // "builder" or "python"
    int entries;
    bool appended;      // behind setup.exe, or a file of its own (archive mode)

    std::string Name() const {
        return std::string(maker) + "-" + std::to_string(entries) + (appended ? ".exe" : ".zip");
    }
};

class LargePackages : public testing::Test {
protected:
    // Builds the packages once for all cases: mkpackage's installers, the archives they carry
    // (the installer's tail, byte for byte what --zip writes but for the seal, which covers the
    // whole installer and is made anew for the archive alone) and the Python archives appended
    // to setup.exe.
    static void SetUpTestSuite() {
        ForceFolders(Work());
        setup_size_ = FileSize(TestBinDir() + "setup.exe");
        for (const int entries : {65536, 100000}) {
            const std::string size = std::to_string(entries);
            const std::string builder = Work() + "builder-" + size + ".exe";
            const std::string command = "\"" + TestBinDir() + "mkpackage.exe\" \"" + Fixtures() +
                                        "tree-" + size + "\" \"" + Fixtures() + "setting.ini\" \"" +
                                        TestBinDir() + "setup.exe\" \"" + builder + "\"";
            ASSERT_EQ(0, RunProgram(command, 300000)) << command;
            ASSERT_TRUE(JoinFiles(Work() + "builder-" + size + ".zip", {builder}, setup_size_));
            ASSERT_TRUE(SealArchive(Work() + "builder-" + size + ".zip"));
            ASSERT_TRUE(CopyFileA((Fixtures() + "python-" + size + ".zip").c_str(),
                                  (Work() + "python-" + size + ".zip").c_str(), FALSE));
            ASSERT_TRUE(JoinFiles(Work() + "python-" + size + ".exe",
                                  {TestBinDir() + "setup.exe", Work() + "python-" + size + ".zip"}));
        }
    }

    static std::string Path(const Archive& archive) { return Work() + archive.Name(); }

    static uint64_t setup_size_;
};

uint64_t LargePackages::setup_size_ = 0;

const Archive kArchives[] = {
    {"builder", 65536, true},  {"builder", 65536, false},  {"builder", 100000, true},
    {"builder", 100000, false}, {"python", 65536, true},   {"python", 65536, false},
    {"python", 100000, true},  {"python", 100000, false},
};

// Reads the current member's data through the open reader, checked against its size and CRC.
bool ReadMember(ZipReader& zip, std::string& data) {
    if (!zip.OpenMember()) return false;
    data.clear();
    char buffer[4096];
    int read = 0;
    while ((read = zip.Read(buffer, sizeof buffer)) > 0) data.append(buffer, read);
    return read == 0 && zip.MemberIsIntact();
}

TEST_F(LargePackages, EveryArchiveHoldsEveryMemberInOrder) {
    for (const Archive& archive : kArchives) {
        SCOPED_TRACE(archive.Name());
        ArchiveSpan span;
        ASSERT_TRUE(FindArchive(Path(archive), span));
        EXPECT_TRUE(span.zip64);
        EXPECT_EQ(archive.appended ? setup_size_ : 0u, span.start);

        ZipReader zip;
        ASSERT_TRUE(zip.Open(Path(archive)));
        ASSERT_EQ(static_cast<uint64_t>(archive.entries), zip.EntryCount());
        int index = 0;
        std::string data;
        for (bool more = zip.First(); more; more = zip.Next(), ++index) {
            const std::string& name = zip.Current().name;
            const bool last = index == archive.entries - 1;
            ASSERT_EQ(last ? kSettingMember : MemberName(index), name);
            ASSERT_TRUE(ReadMember(zip, data)) << name;
            if (!last) {
                ASSERT_EQ(Content(index), data) << name;
            }
        }
        EXPECT_EQ(archive.entries, index);
    }
}

TEST_F(LargePackages, BuilderListsItsOwnPackage) {
    const Archive archive{"builder", 100000, true};
    const std::string listing = Work() + "listing.txt";
    const std::string command = "cmd /c \"\"" + TestBinDir() + "mkpackage.exe\" --list \"" +
                                Path(archive) + "\" > \"" + listing + "\"\"";
    ASSERT_EQ(0, RunProgram(command, 120000)) << command;
    // Each member on a line of its own (its size, then its name) in archive order, then the count.
    const std::string text = ReadTextFile(listing);
    const std::string first_line = text.substr(0, text.find("\r\n"));
    EXPECT_EQ(first_line.size() - MemberName(0).size(), first_line.rfind("  " + MemberName(0)) + 2);
    EXPECT_NE(std::string::npos, text.find("  " + std::string(kSettingMember) + "\r\n"));
    EXPECT_NE(std::string::npos, text.find("\r\n100000 members, "));
}

// Installs with the real installer, silently from an appended archive (into the host folder,
// which the setting file names) or in archive mode (into the installer's own folder, which
// shows the closing message); then every file must be there with its size, a sample with its
// content. Every maker, size and placement is installed in one of the four runs, and each pair
// of them in one run; the reading test above covers all eight archives member by member.
TEST_F(LargePackages, InstallerInstallsEveryFile) {
    const Archive installs[] = {
        {"builder", 65536, true},
        {"builder", 100000, false},
        {"python", 65536, false},
        {"python", 100000, true},
    };
    const SavedRegistryKey host_key(HKEY_CURRENT_USER, kHostRegistryKey);
    for (const Archive& archive : installs) {
        SCOPED_TRACE(archive.Name());
        // A folder of its own for each run, left for ctest's clean-up.
        const std::string target = Work() + "install-" + archive.Name() + "\\";
        ForceFolders(target);
        int code = -1;
        std::string mismatch;
        if (archive.appended) {
            UniqueHKey key;
            ASSERT_EQ(ERROR_SUCCESS,
                      RegCreateKeyExA(HKEY_CURRENT_USER, kHostRegistryKey, 0, nullptr, 0,
                                      KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
            WriteRegString(key.get(), "InstallPath", target);
            DrivenProcess installer(Path(archive), {"-s"});
            ASSERT_TRUE(installer.started());
            code = AnswerBoxesAndWait(installer, {}, mismatch, 600000);
        } else {
            ASSERT_TRUE(CopyFileA((TestBinDir() + "setup.exe").c_str(), (target + "setup.exe").c_str(),
                                  FALSE));
            DrivenProcess installer(target + "setup.exe", {Path(archive)});
            ASSERT_TRUE(installer.started());
            code = AnswerBoxesAndWait(installer, {{"確認", kFinished, IDOK}}, mismatch, 600000);
        }
        EXPECT_EQ(0, code);
        EXPECT_EQ("", mismatch);

        std::map<std::string, uint64_t> files;
        ListFiles(target, "", files);
        if (!archive.appended) {
            EXPECT_EQ(1u, files.erase("setup.exe"));
            EXPECT_EQ(FileSize(Path(archive)), files["MarlethArchives\\" + archive.Name()]);
            files.erase("MarlethArchives\\" + archive.Name());
        }
        ASSERT_EQ(static_cast<size_t>(archive.entries - 1), files.size());
        for (int i = 0; i < archive.entries - 1; ++i) {
            const std::string path = ToBackslashes(MemberName(i));
            const auto found = files.find(path);
            ASSERT_NE(files.end(), found) << path;
            ASSERT_EQ(Content(i).size(), found->second) << path;
            if (i % 997 == 0 || i == archive.entries - 2) {
                ASSERT_EQ(Content(i), ReadTextFile(target + path)) << path;
            }
        }
    }
}

}  // namespace
