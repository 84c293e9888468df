// The uninstaller's removal of one installation and its search for installations, in-process:
// hostile and damaged items change nothing outside the install folder, files the user changed
// stay, and the search finds what it serves.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <functional>

#include "package/install_record.h"
#include "package/package_format.h"
#include "support/saved_registry_key.h"
#include "support/test_support.h"
#include "uninstaller/discovery.h"
#include "uninstaller/removal.h"
#include "uninstaller/removal_windows.h"
#include "utils/files.h"
#include "utils/registry.h"
#include "utils/shell.h"
#include "utils/text.h"
#include "zlib.h"

namespace {

// An installation's folder and a folder beside it that holds what must never change.
struct Folders {
    std::string install;  // ends with a backslash
    std::string outside;  // ends with a backslash
};

std::string CheckOf(const std::string& content) {
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                            static_cast<uInt>(content.size()));
    return FileChecksText({{content.size(), static_cast<uint32_t>(crc)}});
}

// uinstall.ini in the install folder listing items, and last the character file ven-typ.mrl,
// which it writes (the file that confirms the folder); checks (by item index) go into the check
// section when with_checks is set, as the installer writes it.
std::string WriteInfo(const std::string& install, std::vector<std::string> items,
                      std::vector<std::string> checks, bool with_checks = true) {
    std::string text =
        "[options]\r\nAppName=テスト\r\nVendor=ven\r\nType=typ\r\n"
        "UninstallInfoDir=($INSTALLDIR)\r\nUninstallExeDir=($INSTALLDIR)\\nobody\r\n"
        "shortcut_group=存在しないグループ\r\n[INSTALLEDFILE]\r\n";
    WriteTextFile(install + "ven-typ.mrl", "character");
    checks.resize(items.size());
    items.push_back("ven-typ.mrl");
    checks.push_back(CheckOf("character"));
    for (size_t i = 0; i < items.size(); ++i) text += "item" + std::to_string(i) + "=" + items[i] + "\r\n";
    if (with_checks) {
        text += "[INSTALLEDFILECHECK]\r\nInstallDir=" + install + "\r\n";
        for (size_t i = 0; i < checks.size(); ++i) {
            if (!checks[i].empty()) text += "item" + std::to_string(i) + "=" + checks[i] + "\r\n";
        }
    }
    WriteTextFile(install + "uinstall.ini", text);
    return install + "uinstall.ini";
}

RemovalOutcome Remove(const std::string& info) {
    Installation installation;
    EXPECT_TRUE(ReadInstallation(info, installation));
    return RemoveInstallation(installation, RemovalContext());
}

bool Lists(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

struct HostileRow {
    const char* what;
    std::function<std::string(const Folders&)> item;
    // Links made on the Linux side, as a user (or another program) could have made them.
    std::function<bool(const Folders&)> prepare = [](const Folders&) { return true; };
    bool reported = true;  // named among the refused items (a folder entry is only left alone)
    // What the item's check says: the outside file's own, so that only the refusal keeps it.
    const char* content = "victim";
    bool damaged = false;  // named as no file's name instead: nothing of it can be there
};

TEST(Removal, HostileAndDamagedItemsChangeNothingOutsideTheInstallFolder) {
    const HostileRow rows[] = {
        {"a parent step", [](const Folders&) { return "..\\outside\\victim.txt"; }},
        {"a parent step further in", [](const Folders&) { return "sub\\..\\..\\outside\\victim.txt"; }},
        {"an absolute path", [](const Folders& f) { return f.outside + "victim.txt"; }},
        {"a path from the drive's root",
         [](const Folders& f) { return f.outside.substr(2) + "victim.txt"; }},
        {"a device path", [](const Folders& f) { return "\\\\?\\" + f.outside + "victim.txt"; },
         [](const Folders&) { return true; }, true, "victim", true},
        {"a drive-relative path", [](const Folders&) { return "C:victim.txt"; }},
        {"a data stream", [](const Folders&) { return "kept.txt::$DATA"; }},
        {"a device name", [](const Folders&) { return "sub\\nul.txt"; }},
        {"a name Windows shortens", [](const Folders&) { return "kept.txt."; }},
        {"a control character", [](const Folders&) { return "kept\x01.txt"; },
         [](const Folders&) { return true; }, true, "victim", true},
        {"a broken two-byte character", [](const Folders&) { return "kept\x81"; },
         [](const Folders&) { return true; }, true, "victim", true},
        {"a linked folder", [](const Folders&) { return "dirlink\\victim.txt"; },
         [](const Folders& f) { return MakeUnixSymlink(f.outside, f.install + "dirlink"); }},
        {"a linked file", [](const Folders&) { return "filelink.txt"; },
         [](const Folders& f) {
             return MakeUnixSymlink(f.outside + "victim.txt", f.install + "filelink.txt");
         }},
        {"a linked folder further in", [](const Folders&) { return "sub\\inner\\deep.txt"; },
         [](const Folders& f) {
             ForceFolders(f.install + "sub");
             return MakeUnixSymlink(f.outside + "deep", f.install + "sub\\inner");
         },
         true, "deep"},
        {"a linked empty folder listed as a folder", [](const Folders&) { return "emptylink\\"; },
         [](const Folders& f) { return MakeUnixSymlink(f.outside + "empty", f.install + "emptylink"); },
         false},
    };
    for (const HostileRow& row : rows) {
        SCOPED_TRACE(row.what);
        TestFolder dir;
        const Folders folders{dir / "install\\", dir / "outside\\"};
        ForceFolders(folders.install);
        ForceFolders(folders.outside + "deep");
        ForceFolders(folders.outside + "empty");
        WriteTextFile(folders.outside + "victim.txt", "victim");
        WriteTextFile(folders.outside + "deep\\deep.txt", "deep");
        WriteTextFile(folders.install + "kept.txt", "mine");
        WriteTextFile(folders.install + "ok.txt", "ok");
        ASSERT_TRUE(row.prepare(folders));
        const auto outside = SnapshotTree(folders.outside);
        const std::string item = row.item(folders);

        const RemovalOutcome outcome =
            Remove(WriteInfo(folders.install, {item, "ok.txt"}, {CheckOf(row.content), CheckOf("ok")}));

        EXPECT_EQ(outside, SnapshotTree(folders.outside));
        EXPECT_EQ(row.reported && !row.damaged, Lists(outcome.refused, item)) << item;
        EXPECT_EQ(row.damaged, Lists(outcome.damaged, item)) << item;
        EXPECT_FALSE(PathExists(folders.install + "ok.txt"));  // the rest of the list goes
        EXPECT_EQ("mine", ReadTextFile(folders.install + "kept.txt"));
    }
}

struct ChangeRow {
    const char* what;
    std::function<void(const std::string& file)> change;
    bool with_checks;
    const char* check;  // the check section's value; nullptr: as the file was installed
    bool kept;          // named as kept and still there
};

TEST(Removal, FilesTheUserChangedAreKeptAndNamed) {
    const char kInstalled[] = "installed content";
    const ChangeRow rows[] = {
        {"unchanged", [](const std::string&) {}, true, nullptr, false},
        {"same size, other bytes", [](const std::string& f) { WriteTextFile(f, "INSTALLED CONTENT"); },
         true, nullptr, true},
        {"longer", [](const std::string& f) { WriteTextFile(f, "installed content, and more"); },
         true, nullptr, true},
        {"emptied", [](const std::string& f) { WriteTextFile(f, ""); }, true, nullptr, true},
        {"made read-only, unchanged",
         [](const std::string& f) { SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_READONLY); }, true,
         nullptr, false},
        {"replaced by a folder",
         [](const std::string& f) {
             DeleteFileA(f.c_str());
             ForceFolders(f);
         },
         true, nullptr, true},
        {"a check the file cannot be told by", [](const std::string&) {}, true, "17,zzzzzzzz", true},
        {"changed, but listed by an older installer without checks",
         [](const std::string& f) { WriteTextFile(f, "changed"); }, false, nullptr, false},
    };
    for (const ChangeRow& row : rows) {
        SCOPED_TRACE(row.what);
        TestFolder dir;
        const std::string install = dir / "install\\";
        ForceFolders(install + "shell");
        const std::string file = install + "shell\\surface.txt";
        WriteTextFile(file, kInstalled);
        row.change(file);

        const RemovalOutcome outcome =
            Remove(WriteInfo(install, {"shell\\surface.txt", "shell\\"},
                             {row.check != nullptr ? row.check : CheckOf(kInstalled)},
                             row.with_checks));

        EXPECT_EQ(row.kept, Lists(outcome.kept, "shell\\surface.txt"));
        EXPECT_EQ(row.kept, PathExists(file));
        EXPECT_EQ(row.kept, PathExists(install + "shell"));  // empty folders go
        EXPECT_TRUE(outcome.Complete());
        EXPECT_FALSE(PathExists(install + "uinstall.ini"));
    }
}

// Files another complete installation in the same folder lists stay for it; marleth.rc goes only
// when it names this character and nothing else.
TEST(Removal, WhatOthersStillUseStays) {
    struct Row {
        const char* what;
        std::string rc;  // marleth.rc's content
        bool rc_removed;
    };
    const Row rows[] = {
        {"marleth.rc naming this character", "ven-typ.mrl\r\n\r\n", true},
        {"marleth.rc naming another one", "other-char.mrl\r\n\r\n", false},
        {"marleth.rc naming this one and more", "ven-typ.mrl\r\nother-char.mrl\r\n", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestFolder dir;
        const std::string install = dir / "install\\";
        ForceFolders(install + "other");
        for (const char* name : {"mine.txt", "common.txt"}) WriteTextFile(install + name, name);
        WriteTextFile(install + "marleth.rc", row.rc);
        const std::string info = WriteInfo(install, {"mine.txt", "common.txt"},
                                           {CheckOf("mine.txt"), CheckOf("common.txt")});
        Installation mine;
        Installation other;
        ASSERT_TRUE(ReadInstallation(info, mine));
        WriteTextFile(install + "other\\uinstall.ini",
                      "[options]\r\nUninstallInfoDir=($INSTALLDIR)\\other\r\n"
                      "[INSTALLEDFILECHECK]\r\nInstallDir=" + install + "\r\n"
                      "[INSTALLEDFILE]\r\nitem0=COMMON.TXT\r\n");
        ASSERT_TRUE(ReadInstallation(install + "other\\uinstall.ini", other));

        EXPECT_TRUE(RemoveInstallation(mine, ContextAmong(mine, {mine, other})).Complete());
        EXPECT_FALSE(PathExists(install + "mine.txt"));
        EXPECT_TRUE(PathExists(install + "common.txt"));
        EXPECT_EQ(row.rc_removed, !PathExists(install + "marleth.rc"));
    }
}

// Items that can never be removed (a name no file can have, a place outside the folder) do not
// hold the record, and a gap in the numbering hides nothing; a file in use holds it, with the
// character file, so that the folder stays confirmed for the next try.
TEST(Removal, OnlyAFileThatMayStillGoHoldsTheRecord) {
    struct Row {
        const char* what;
        std::vector<std::pair<int, std::string>> items;  // number, name
        bool in_use;                   // a.txt is held open by another program
        bool complete;
        bool record_removed;
        size_t damaged;
        size_t refused;
    };
    const Row rows[] = {
        {"names no file can have, and a gap", {{0, "a.txt"}, {1, "x*y.txt"}, {2, "p|q"},
          {3, "<z>"}, {4, "a\"b"}, {9, "b.txt"}}, false, true, true, 4, 0},
        {"a place outside", {{0, "a.txt"}, {1, "..\\outside.txt"}, {2, "b.txt"}}, false, false,
         true, 0, 1},
        {"a file in use", {{0, "a.txt"}, {1, "b.txt"}}, true, false, false, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestFolder dir;
        const std::string install = dir / "install\\";
        ForceFolders(install);
        WriteTextFile(dir / "outside.txt", "outside");
        std::string items = "[INSTALLEDFILE]\r\n";
        std::string checks = "[INSTALLEDFILECHECK]\r\nInstallDir=" + install + "\r\n";
        for (const auto& [number, name] : row.items) {
            items += "item" + std::to_string(number) + "=" + name + "\r\n";
            checks += "item" + std::to_string(number) + "=" + CheckOf("data") + "\r\n";
        }
        for (const char* name : {"a.txt", "b.txt"}) WriteTextFile(install + name, "data");
        WriteTextFile(install + "ven-typ.mrl", "character");
        items += "item99=ven-typ.mrl\r\n";
        checks += "item99=" + CheckOf("character") + "\r\n";
        WriteTextFile(install + "uinstall.ini",
                      "[options]\r\nAppName=テスト\r\nVendor=ven\r\nType=typ\r\n"
                      "UninstallInfoDir=($INSTALLDIR)\r\nshortcut_group=存在しないグループ\r\n" +
                          items + checks);
        UniqueFile held;
        if (row.in_use) {
            held.reset(CreateFileA((install + "a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held);
        }

        const RemovalOutcome outcome = Remove(install + "uinstall.ini");

        EXPECT_EQ(row.complete, outcome.Complete());
        EXPECT_EQ(row.record_removed, !PathExists(install + "uinstall.ini"));
        EXPECT_EQ(row.damaged, outcome.damaged.size());
        EXPECT_EQ(row.refused, outcome.refused.size());
        EXPECT_EQ(row.in_use, !outcome.failed.empty());
        EXPECT_FALSE(PathExists(install + "b.txt"));  // every item is read
        EXPECT_EQ(row.in_use, PathExists(install + "ven-typ.mrl"));
        EXPECT_TRUE(PathExists(dir / "outside.txt"));
    }
}

TEST(Removal, SystemFoldersAreNeverInstallFolders) {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string program_files = GetSpecialFolder(CSIDL_PROGRAM_FILES);
    const std::string profile = GetSpecialFolder(CSIDL_PROFILE);
    TestFolder dir;
    struct Row {
        std::string folder;
        bool system;
    };
    const Row rows[] = {
        {"C:\\", true},
        {GetSpecialFolder(CSIDL_WINDOWS), true},
        {GetSpecialFolder(CSIDL_WINDOWS) + "\\system32\\", true},
        {program_files, true},
        {program_files + "\\", true},
        {profile, true},
        {FolderOf(profile), true},
        {GetSpecialFolder(CSIDL_APPDATA), true},
        {GetSpecialFolder(CSIDL_COMMON_APPDATA), true},
        {GetSpecialFolder(CSIDL_PROGRAMS), true},
        {temp, true},
        {program_files + "\\calderex\\Ombrevine", false},
        {profile + "\\キャラクター", false},
        {dir.path(), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder);
        EXPECT_EQ(row.system, IsSystemFolder(row.folder));
    }
}

// A removal works only in a folder the installation confirms as its own: its character file is
// there, or a file of its list as one of ours wrote it; never a system folder. An older
// uinstall.ini, which recorded no folder, is removed from the first folder it could have gone to
// that confirms it; when none does, nothing is removed and it stays.
TEST(Removal, NothingIsRemovedFromAFolderTheInstallationDoesNotConfirm) {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    struct Row {
        const char* what;
        std::string recorded;   // InstallDir of the check section; empty: an older uinstall.ini
        std::string default_dir;  // DefaultInstallDir, for an older one
        std::string files_in;   // where the listed files (and the character file) are
        bool character_file;    // the character file is there
        bool removed;
    };
    TestFolder dir;
    const std::string info_folder = dir / "info\\";
    const std::string elsewhere = dir / "elsewhere\\";
    const std::string stray = std::string(temp) + "marleth-removal-test-" + IntToText(GetTickCount()) + ".txt";
    const Row rows[] = {
        {"recorded, its character file there", elsewhere, "", elsewhere, true, true},
        {"recorded, a listed file there as written", elsewhere, "", elsewhere, false, true},
        {"recorded, none of its files there", dir / "empty\\", "", elsewhere, true, false},
        {"recorded, a system folder", temp, "", temp, true, false},
        {"older, beside uinstall.ini", "", "", info_folder, true, true},
        {"older, in its default folder", "", elsewhere, elsewhere, true, true},
        {"older, in a folder nothing names", "", elsewhere, dir / "chosen\\", true, false},
        {"older, without its character file", "", elsewhere, elsewhere, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (const std::string& folder : {info_folder, elsewhere, dir / "empty\\", dir / "chosen\\"}) {
            DeleteTree(folder);
            ForceFolders(folder);
        }
        const std::string file = row.files_in == temp ? stray : row.files_in + "data.txt";
        const std::string character = row.files_in + "ven-typ.mrl";
        WriteTextFile(file, "data");
        if (row.character_file) WriteTextFile(character, "character");
        std::string text = "[options]\r\nAppName=テスト\r\nVendor=ven\r\nType=typ\r\n"
                           "UninstallInfoDir=($INSTALLDIR)\r\nshortcut_group=存在しないグループ\r\n"
                           "DefaultInstallDir=" + row.default_dir + "\r\n[INSTALLEDFILE]\r\nitem0=" +
                           FileNameOf(file) + "\r\nitem1=ven-typ.mrl\r\n";
        if (!row.recorded.empty()) {
            text += "[INSTALLEDFILECHECK]\r\nInstallDir=" + row.recorded + "\r\nitem0=" +
                    CheckOf("data") + "\r\nitem1=" + CheckOf("character") + "\r\n";
        }
        WriteTextFile(info_folder + "uinstall.ini", text);

        const RemovalOutcome outcome = Remove(info_folder + "uinstall.ini");

        EXPECT_EQ(!row.removed, outcome.unconfirmed);
        EXPECT_EQ(row.removed, outcome.Complete());
        EXPECT_EQ(!row.removed, PathExists(file));
        EXPECT_EQ(!row.removed, PathExists(info_folder + "uinstall.ini"));
        DeleteFileA(stray.c_str());
        DeleteFileA((std::string(temp) + "ven-typ.mrl").c_str());
    }
}

// A file one of our installations wrote is never taken for the user's: what a run of the package
// that did not complete recorded counts (a killed upgrade), a member cut short by the end of its
// run goes with what it left beside the file, and of a file two installations list in different
// versions, the one removed first hands its version over to the other.
TEST(Removal, ContentOurInstallationsWroteIsOurs) {
    TestFolder dir;
    const std::string install = dir / "install\\";
    ForceFolders(install);
    const std::string run_record = install + RunRecordName("テスト", "ven", "typ");
    {
        SCOPED_TRACE("a killed upgrade");
        WriteTextFile(install + "f.txt", "version 2");
        WriteTextFile(install + "g.txt", "part");  // being written when the run ended
        WriteTextFile(install + "g.txt$$part$$", "x");
        WriteTextFile(install + std::string("g.txt") + FileReplacement::kPartSuffix, "beside");
        WriteTextFile(run_record, RunRecordHeader("テスト", "ven", "typ") +
                                      RunRecordEntry(0, "f.txt", CheckOf("version 2")) +
                                      RunRecordEntry(1, "g.txt", CheckOf("the whole of g")));
        const std::string info = WriteInfo(install, {"f.txt"}, {CheckOf("version 1")});
        Installation installation;
        ASSERT_TRUE(ReadInstallation(info, installation));
        EXPECT_EQ(std::vector<std::string>{run_record}, installation.run_records);

        const RemovalOutcome outcome = RemoveInstallation(installation, RemovalContext());

        EXPECT_TRUE(outcome.Complete());
        EXPECT_TRUE(outcome.kept.empty());
        for (const std::string name : {"f.txt", "g.txt", "ven-typ.mrl", "uinstall.ini"}) {
            EXPECT_FALSE(PathExists(install + name)) << name;
        }
        EXPECT_FALSE(PathExists(install + std::string("g.txt") + FileReplacement::kPartSuffix));
        EXPECT_TRUE(PathExists(install + "g.txt$$part$$"));  // not what a run leaves
        EXPECT_FALSE(PathExists(run_record));
    }
    {
        SCOPED_TRACE("one file in two versions");
        ForceFolders(install + "a");
        ForceFolders(install + "b");
        WriteTextFile(install + "common.txt", "b's version");
        const auto write = [&](const std::string& who, const std::string& version) {
            const std::string path = install + who + "\\uinstall.ini";
            WriteTextFile(install + who + "\\" + who + "-typ.mrl", who);
            WriteTextFile(path, "[options]\r\nAppName=" + who + "\r\nVendor=" + who +
                                    "\r\nType=typ\r\nUninstallInfoDir=($INSTALLDIR)\\" + who +
                                    "\r\nshortcut_group=存在しないグループ\r\n[INSTALLEDFILE]\r\n"
                                    "item0=common.txt\r\nitem1=" + who + "\\" + who +
                                    "-typ.mrl\r\n[INSTALLEDFILECHECK]\r\nInstallDir=" + install +
                                    "\r\nitem0=" + CheckOf(version) + "\r\nitem1=" + CheckOf(who) +
                                    "\r\n");
            Installation installation;
            EXPECT_TRUE(ReadInstallation(path, installation));
            return installation;
        };
        const Installation a = write("a", "a's version");
        const Installation b = write("b", "b's version");

        EXPECT_TRUE(RemoveInstallation(b, ContextAmong(b, {a, b})).Complete());
        EXPECT_TRUE(PathExists(install + "common.txt"));  // a lists it
        const RemovalOutcome last = RemoveInstallation(a, ContextAmong(a, {a}));
        EXPECT_TRUE(last.Complete());
        EXPECT_TRUE(last.kept.empty());
        EXPECT_FALSE(PathExists(install + "common.txt"));
    }
}

// The folders of the list go when they are empty, whoever emptied them: a removal that was
// killed, or the user.
TEST(Removal, EmptyFoldersOfTheListGoWhoeverEmptiedThem) {
    TestFolder dir;
    const std::string install = dir / "install\\";
    for (const char* folder : {"listed\\inner", "parent\\child", "mine"}) ForceFolders(install + folder);
    WriteTextFile(install + "mine\\own.txt", "the user's");
    // Nothing of the listed files is left.
    const RemovalOutcome outcome = Remove(WriteInfo(
        install, {"listed\\", "listed\\inner\\", "parent\\child\\gone.txt", "mine\\gone.txt"},
        {"", "", CheckOf("x"), CheckOf("x")}));
    EXPECT_TRUE(outcome.Complete());
    EXPECT_FALSE(PathExists(install + "listed"));
    EXPECT_FALSE(PathExists(install + "parent"));
    EXPECT_TRUE(PathExists(install + "mine\\own.txt"));
}

// The start-menu folders of the test, removed when the scope ends.
class ScopedProgramsEntries {
public:
    explicit ScopedProgramsEntries(std::vector<std::string> paths) : paths_(std::move(paths)) {}
    ~ScopedProgramsEntries() {
        for (const std::string& path : paths_) DeleteTree(path);
    }
    ScopedProgramsEntries(const ScopedProgramsEntries&) = delete;
    ScopedProgramsEntries& operator=(const ScopedProgramsEntries&) = delete;

private:
    std::vector<std::string> paths_;
};

// Shortcut names of uinstall.ini are relative to the group folder below the start menu's Programs
// folder: a name (or a group) that climbs out of it is refused, and nothing beside it changes.
TEST(Removal, ShortcutNamesStayInTheirGroup) {
    const std::string programs = GetProgramsFolder() + "\\";
    const std::string group = "テスト" + std::to_string(GetTickCount());
    const std::string beside = group + "-beside";
    ScopedProgramsEntries owned({programs + group, programs + beside});
    struct Row {
        const char* what;
        std::string options;
        bool group_goes;  // the group's own shortcut is removed with its folder
    };
    const Row rows[] = {
        {"a shortcut name that climbs out",
         "shortcut_group=" + group + "\r\nMenuPath_0=..\\" + beside + "\\victim.lnk\r\n", true},
        {"a group that climbs out", "shortcut_group=..\\Programs\\" + beside + "\r\n", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ForceFolders(programs + group);
        ForceFolders(programs + beside);
        WriteTextFile(programs + group + "\\キャラクターアンインストール.lnk", "mine");
        WriteTextFile(programs + beside + "\\victim.lnk", "victim");
        WriteTextFile(programs + beside + "\\キャラクターアンインストール.lnk", "theirs");
        const auto untouched = SnapshotTree(programs + beside + "\\");
        TestFolder dir;
        WriteTextFile(dir / "ven-typ.mrl", "character");
        WriteTextFile(dir / "uinstall.ini",
                      "[options]\r\nVendor=ven\r\nType=typ\r\nUninstallInfoDir=($INSTALLDIR)\r\n" +
                          row.options + "[INSTALLEDFILE]\r\nitem0=ven-typ.mrl\r\n");

        const RemovalOutcome outcome = Remove(dir / "uinstall.ini");

        EXPECT_EQ(untouched, SnapshotTree(programs + beside + "\\"));
        EXPECT_EQ(1u, outcome.refused.size());
        EXPECT_EQ(row.group_goes, !PathExists(programs + group));
    }
}

// A run killed while appending to its record may leave a name cut short: it could name another
// file, which must stay.
TEST(Removal, AKilledRunsRecordLosesItsCutLastLine) {
    TestFolder dir;
    for (const char* name : {"a.txt", "b.txt", "b.t"}) WriteTextFile(dir / name, name);
    const std::string record = dir / "_$$$installing$$$_0badcafe.ini";
    WriteTextFile(record, "[run]\r\nAppName=中断\r\n[INSTALLEDFILE]\r\nitem0=a.txt\r\nitem1=b.t");

    const RemovalOutcome outcome = Remove(record);

    EXPECT_TRUE(outcome.Complete());
    EXPECT_FALSE(PathExists(dir / "a.txt"));
    EXPECT_TRUE(PathExists(dir / "b.t"));
    EXPECT_FALSE(PathExists(record));
}

TEST(Discovery, FindsTheInstallationsItServesAndInterruptedRuns) {
    TestFolder dir;
    const std::string host = dir / "host\\";
    // Served: uinstall.ini two folders down, and an older one without the check section, whose
    // install folder is told by its UninstallInfoDir.
    ForceFolders(host + "ven\\typ");
    WriteInfo(host + "ven\\typ\\", {"ven\\typ\\a.txt"}, {"1,00000000"});
    WritePrivateProfileStringA("options", "UninstallExeDir", "($INSTALLDIR)\\..\\..",
                               (host + "ven\\typ\\uinstall.ini").c_str());
    ForceFolders(host + "old\\one");
    WriteTextFile(host + "old\\one\\uinstall.ini",
                  "[options]\r\nAppName=古い\r\nUninstallInfoDir=($INSTALLDIR)\\old\\one\r\n"
                  "UninstallExeDir=($INSTALLDIR)\r\n");
    // Not served: another uninstaller's, and one too deep to be looked for.
    ForceFolders(host + "other\\x");
    WriteTextFile(host + "other\\x\\uinstall.ini",
                  "[options]\r\nUninstallInfoDir=($INSTALLDIR)\\other\\x\r\n"
                  "UninstallExeDir=($INSTALLDIR)\\elsewhere\r\n");
    ForceFolders(host + "a\\b\\c");
    WriteTextFile(host + "a\\b\\c\\uinstall.ini", "[options]\r\nUninstallInfoDir=x\r\nUninstallExeDir=x\r\n");
    // A killed run's record, and the record of a run going on (its installer holds it).
    WriteTextFile(host + "_$$$installing$$$_0000abcd.ini", "[run]\r\nAppName=中断\r\n[INSTALLEDFILE]\r\n");
    WriteTextFile(host + "_$$$installing$$$_11112222.ini", "[run]\r\nAppName=実行中\r\n");
    UniqueFile running(CreateFileA((host + "_$$$installing$$$_11112222.ini").c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(running);

    // Installed elsewhere (a folder chosen on the folder page), found through Windows' list.
    const SavedRegistryKey list(HKEY_CURRENT_USER, kUninstallListKey);
    const std::string distant = dir / "elsewhere\\";
    ForceFolders(distant);
    WriteTextFile(distant + "uinstall.ini",
                  "[options]\r\nAppName=遠く\r\nUninstallInfoDir=($INSTALLDIR)\r\n"
                  "UninstallExeDir=" + host + "\r\n[INSTALLEDFILECHECK]\r\nInstallDir=" + distant + "\r\n");
    {
        UniqueHKey entry = CreateRegKey(HKEY_CURRENT_USER, UninstallEntryKey(distant + "uinstall.ini"));
        ASSERT_TRUE(WriteRegString(entry.get(), kUninstallInfoValue, distant + "uinstall.ini"));
    }

    std::vector<std::string> found;
    for (const Installation& installation : FindInstallations({host})) {
        std::string relative;
        if (!IsInsideFolder(installation.record, dir.path(), relative)) continue;  // another test's
        const bool served = installation.kind == InstallationKind::kInterrupted ||
                            IsServedBy(installation, host);
        found.push_back(ListedName(installation) + (served ? "" : " (not served)") + " in " +
                        installation.install_dir);
    }
    std::vector<std::string> expected{
        " (not served) in " + host,
        "テスト in " + host + "ven\\typ\\",
        "中断（中断されたインストール） in " + host,
        "古い in " + host,
        "遠く in " + distant,
    };
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, found);
}

}  // namespace
