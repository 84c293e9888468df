// The run's log: the /log switches taken out of the command line, the lines and their batches.
#include <gtest/gtest.h>

#include <memory>

#include "support/test_support.h"
#include "utils/files.h"
#include "utils/run_log.h"

namespace {

struct SwitchCase {
    std::vector<std::string> arguments;
    bool requested;
    std::string path;
    std::vector<std::string> rest;
};

TEST(LogSwitches, TakenWhereverTheyStandAndNothingElse) {
    const SwitchCase cases[] = {
        {{}, false, "", {}},
        {{"-s"}, false, "", {"-s"}},
        {{"/log"}, true, "", {}},
        {{"-s", "/log"}, true, "", {"-s"}},
        {{"/log", "-s2"}, true, "", {"-s2"}},
        {{"-LOG", "C:\\dl\\pkg.zip"}, true, "", {"C:\\dl\\pkg.zip"}},
        {{"/log=D:\\setup.txt", "PKG.zip"}, true, "D:\\setup.txt", {"PKG.zip"}},
        {{"/Log=", "-s"}, true, "", {"-s"}},
        {{"/log=a.txt", "/log=b.txt"}, true, "b.txt", {}},
        // Not switches: an archive whose name starts like one, an empty first argument.
        {{"/logs.zip"}, false, "", {"/logs.zip"}},
        {{"-login.zip", "/log"}, true, "", {"-login.zip"}},
        {{"", "/log"}, true, "", {""}},
    };
    for (const SwitchCase& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        const LogRequest request = TakeLogSwitches(arguments);
        const std::string label = c.arguments.empty() ? "(none)" : c.arguments.front();
        EXPECT_EQ(c.requested, request.requested) << label;
        EXPECT_EQ(c.path, request.path) << label;
        EXPECT_EQ(c.rest, arguments) << label;
    }
}

TEST(LogPath, NamedAfterThePackageAndTheTime) {
    const std::string path = DefaultLogPath("C:\\temp\\", "D:\\dl\\sample-setup.exe");
    ASSERT_EQ(0u, path.rfind("C:\\temp\\sample-setup-", 0)) << path;
    // "-YYYYMMDD-HHMMSS.log"
    EXPECT_EQ(std::string("C:\\temp\\sample-setup-").size() + 8 + 1 + 6 + 4, path.size()) << path;
    EXPECT_EQ(".log", path.substr(path.size() - 4));
    EXPECT_EQ(0u, DefaultLogPath("C:\\temp", "pkg").rfind("C:\\temp\\pkg-", 0));
}

// The text of the log without its time stamps ("[   0.012] ").
std::string WithoutStamps(const std::string& log) {
    std::string text;
    size_t at = 0;
    while (at < log.size()) {
        const size_t end = log.find("\r\n", at);
        const std::string line = log.substr(at, end - at);
        text += (line.size() >= 11 ? line.substr(11) : line) + "\n";
        if (end == std::string::npos) break;
        at = end + 2;
    }
    return text;
}

TEST(RunLog, LinesInOrderBatchesWrittenBeforeTheNextLine) {
    TestFolder dir;
    const std::string path = dir / "run.log";
    ASSERT_TRUE(StartRunLog(path));
    LogLine("start");
    LogBatched("member a.txt");
    LogBatched("member フォルダ\\b.txt");
    // A batch waits for more; a line written meanwhile comes after it.
    EXPECT_EQ("start\n", WithoutStamps(ReadTextFile(path)));
    LogLine("box: 一行目\r\n二行目");
    EndRunLog();
    EXPECT_EQ("start\nmember a.txt\nmember フォルダ\\b.txt\nbox: 一行目\n二行目\n",
              WithoutStamps(ReadTextFile(path)));
    const std::string raw = ReadTextFile(path);
    EXPECT_EQ('[', raw[0]);
    EXPECT_EQ("] start\r\n", raw.substr(9, 9));
    // The second line of a box's text is indented under its first.
    EXPECT_NE(std::string::npos, raw.find("\r\n           二行目\r\n")) << raw;

    // Ended: nothing more is written, and a new log replaces the file.
    LogLine("after the end");
    EXPECT_EQ(std::string::npos, ReadTextFile(path).find("after the end"));
    ASSERT_TRUE(StartRunLog(path));
    LogLine("again");
    EndRunLog();
    EXPECT_EQ("again\n", WithoutStamps(ReadTextFile(path)));
}

TEST(RunLog, LongSeriesWrittenInBatchesNotHeldToTheEnd) {
    TestFolder dir;
    const std::string path = dir / "members.log";
    ASSERT_TRUE(StartRunLog(path));
    for (int i = 0; i < 1000; ++i) LogBatched("member " + std::to_string(i));
    // Written while the run goes on: a killed run keeps all but the last batch.
    const std::string so_far = ReadTextFile(path);
    EXPECT_NE(std::string::npos, so_far.find("] member 700\r\n"));
    EndRunLog();
    EXPECT_NE(std::string::npos, ReadTextFile(path).find("] member 999\r\n"));
}

// The log is always a new file: nothing at its name is written through (a link planted there
// would have an elevated run overwrite what it leads to), no device is opened, and a default name
// that is taken is passed over. Links are made on the Linux side, where Wine sees them.
TEST(RunLog, CreatedNewNeverThroughWhatStandsAtItsName) {
    struct Case {
        const char* what;
        const char* name;      // the log's path, under the test folder unless it starts "\\\\"
        const char* planted;   // what stands at the name first: "file", "link", "dangling link",
                               // "hard link", "folder" or nothing
        bool take_free_name;
        bool started;
        const char* written;   // where the log's line lands, under the test folder (or nothing)
    };
    const Case cases[] = {
        {"a new name", "run.log", "", false, true, "run.log"},
        {"a file of the user's, replaced", "run.log", "file", false, true, "run.log"},
        {"a hard link, replaced as itself", "run.log", "hard link", false, true, "run.log"},
        // Wine follows a Unix link it is asked to delete as itself: it stays, and no log.
        {"a link to a file elsewhere", "run.log", "link", false, false, ""},
        {"a link to a missing file", "run.log", "dangling link", false, false, ""},
        {"a folder", "run.log", "folder", false, false, ""},
        {"a missing folder", "missing\\run.log", "", false, false, ""},
        {"NUL", "NUL", "", false, false, ""},
        {"CON", "CON", "", false, false, ""},
        {"COM1 with an extension", "com1.log", "", false, false, ""},
        {"a device path", "\\\\.\\NUL", "", false, false, ""},
        // The default name is anybody's to predict: a taken one is never touched.
        {"a default name with a link on it", "pkg-1.log", "link", true, true, "pkg-1-1.log"},
        {"a default name taken by a file", "pkg-1.log", "file", true, true, "pkg-1-1.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolder dir;
        // A name in the test folder; a device (NUL, CON, COM1) is one in any folder.
        const std::string path = std::string(c.name).rfind("\\\\", 0) == 0 ? c.name : dir / c.name;
        const std::string planted = c.planted;
        ForceFolders(dir / "elsewhere");
        WriteTextFile(dir / "elsewhere\\kept.txt", "kept");
        std::unique_ptr<UnixSymlink> link;
        if (planted == "file") WriteTextFile(path, "the user's old log");
        if (planted == "hard link") {
            const std::string kept = dir / "elsewhere\\kept.txt";
            ASSERT_TRUE(CreateHardLinkA(path.c_str(), kept.c_str(), nullptr));
        }
        if (planted == "link" || planted == "dangling link") {
            const std::string target =
                dir / (planted == "link" ? "elsewhere\\kept.txt" : "elsewhere\\new.txt");
            link = std::make_unique<UnixSymlink>(target, path);
            ASSERT_TRUE(link->made());
        }
        if (planted == "folder") {
            ForceFolders(path);
            WriteTextFile(path + "\\inside.txt", "inside");
        }

        EXPECT_EQ(c.started, StartRunLog(path, c.take_free_name));
        LogLine("the run");
        EndRunLog();
        EXPECT_EQ("kept", ReadTextFile(dir / "elsewhere\\kept.txt"));
        EXPECT_FALSE(PathExists(dir / "elsewhere\\new.txt"));
        if (c.started) {
            EXPECT_EQ(dir / c.written, RunLogPath());
            EXPECT_EQ("the run\n", WithoutStamps(ReadTextFile(dir / c.written)));
        }
        if (planted == "folder") {
            EXPECT_EQ("inside", ReadTextFile(path + "\\inside.txt"));
        }
    }
}

}  // namespace
