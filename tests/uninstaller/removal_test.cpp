// The uninstaller's removal of one installation and its search for installations, in-process:
// hostile and damaged items change nothing outside the install folder, files the user changed
// stay, and the search finds what it serves.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "driver/installed_check.h"
#include "support/test_support.h"
#include "uninstaller/discovery.h"
#include "uninstaller/removal.h"
#include "uninstaller/windows.h"
#include "utils/files.h"
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
    return FileCheckText(content.size(), static_cast<uint32_t>(crc));
}

// uinstall.ini in the install folder listing items; checks (by item index) go into the check
// section when with_checks is set, as the installer writes it.
std::string WriteInfo(const std::string& install, const std::vector<std::string>& items,
                      const std::vector<std::string>& checks, bool with_checks = true) {
    std::string text =
        "[options]\r\nAppName=テスト\r\nVendor=ven\r\nType=typ\r\n"
        "UninstallInfoDir=($INSTALLDIR)\r\nUninstallExeDir=($INSTALLDIR)\\nobody\r\n"
        "shortcut_group=存在しないグループ\r\n[INSTALLEDFILE]\r\n";
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
};

TEST(Removal, HostileAndDamagedItemsChangeNothingOutsideTheInstallFolder) {
    const HostileRow rows[] = {
        {"a parent step", [](const Folders&) { return "..\\outside\\victim.txt"; }},
        {"a parent step further in", [](const Folders&) { return "sub\\..\\..\\outside\\victim.txt"; }},
        {"an absolute path", [](const Folders& f) { return f.outside + "victim.txt"; }},
        {"a path from the drive's root",
         [](const Folders& f) { return f.outside.substr(2) + "victim.txt"; }},
        {"a device path", [](const Folders& f) { return "\\\\?\\" + f.outside + "victim.txt"; }},
        {"a drive-relative path", [](const Folders&) { return "C:victim.txt"; }},
        {"a data stream", [](const Folders&) { return "kept.txt::$DATA"; }},
        {"a device name", [](const Folders&) { return "sub\\nul.txt"; }},
        {"a name Windows shortens", [](const Folders&) { return "kept.txt."; }},
        {"a control character", [](const Folders&) { return "kept\x01.txt"; }},
        {"a broken two-byte character", [](const Folders&) { return "kept\x81"; }},
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
        EXPECT_EQ(row.reported, Lists(outcome.refused, item)) << item;
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
        WriteTextFile(dir / "uinstall.ini", "[options]\r\nUninstallInfoDir=($INSTALLDIR)\r\n" +
                                                row.options + "[INSTALLEDFILE]\r\n");

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

    std::vector<std::string> found;
    for (const Installation& installation : FindInstallations({host})) {
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
    };
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, found);
}

}  // namespace
