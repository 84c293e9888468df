// File-system operations: existence, folder creation, forced deletion.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/test_support.h"
#include "utils/files.h"
#include "utils/unique_any.h"

namespace {

void MakeReadOnly(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
}

TEST(Existence, FilesAndFolders) {
    TestFolder dir;
    WriteTextFile(dir / "a.txt", "x");
    EXPECT_TRUE(FileExists(dir / "a.txt"));
    EXPECT_FALSE(FileExists(dir / "missing.txt"));
    EXPECT_FALSE(FileExists(dir.path()));
    EXPECT_TRUE(FolderExists(dir.path()));
    EXPECT_FALSE(FolderExists(dir / "a.txt"));
    EXPECT_FALSE(FolderExists(dir / "missing"));
}

TEST(Existence, FileExistsOnLongPaths) {
    TestFolder dir;
    std::string folder = dir.path();
    while (folder.size() < 200) folder += "deep_folder_name\\";
    ASSERT_TRUE(ForceFolders(folder));
    const std::string path = folder + "file_with_a_long_name.txt";
    ASSERT_GT(path.size(), 127u);
    WriteTextFile(path, "x");
    EXPECT_TRUE(FileExists(path));
    EXPECT_FALSE(FileExists(folder + "missing.txt"));
}

TEST(Folders, ForceFoldersCreatesAllParents) {
    TestFolder dir;
    const std::string deepest = dir / "one\\two\\three";
    EXPECT_TRUE(ForceFolders(deepest + "\\"));
    EXPECT_TRUE(FolderExists(dir / "one"));
    EXPECT_TRUE(FolderExists(dir / "one\\two"));
    EXPECT_TRUE(FolderExists(deepest));
    EXPECT_TRUE(ForceFolders(deepest));  // existing: true at once
}

TEST(Folders, ForceFoldersEdgeCases) {
    EXPECT_TRUE(ForceFolders(""));
    EXPECT_TRUE(ForceFolders("ab"));
    EXPECT_FALSE(FolderExists("ab"));
    EXPECT_FALSE(ForceFolders("Q:\\no\\such\\drive"));
    EXPECT_FALSE(FolderExists("Q:\\no"));
}

TEST(Folders, CreateFolderFailsWhenPresentOrParentMissing) {
    TestFolder dir;
    EXPECT_TRUE(CreateFolder(dir / "new"));
    EXPECT_FALSE(CreateFolder(dir / "new"));
    EXPECT_FALSE(CreateFolder(dir / "missing\\child"));
}

TEST(Deletion, ReadOnlyFileInOneCall) {
    TestFolder dir;
    WriteTextFile(dir / "ro.txt", "x");
    MakeReadOnly(dir / "ro.txt");
    EXPECT_TRUE(DeleteEntry(dir / "ro.txt"));
    EXPECT_FALSE(PathExists(dir / "ro.txt"));
    EXPECT_TRUE(DeleteEntry(dir / "ro.txt"));  // nothing there any more
}

TEST(Deletion, OpenFileIsLeftAlone) {
    TestFolder dir;
    WriteTextFile(dir / "open.txt", "x");
    UniqueFile held(CreateFileA((dir / "open.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(DeleteEntry(dir / "open.txt"));
    held.reset();
    EXPECT_TRUE(PathExists(dir / "open.txt"));
}

TEST(Deletion, RemoveReadOnlyFolder) {
    TestFolder dir;
    CreateFolder(dir / "ro");
    MakeReadOnly(dir / "ro");
    EXPECT_TRUE(DeleteTree(dir / "ro"));
    EXPECT_FALSE(PathExists(dir / "ro"));
}

TEST(Deletion, DeleteTreeWithReadOnlyEntriesAtAnyDepth) {
    TestFolder dir;
    const std::string root = dir / "tree";
    ForceFolders(root + "\\a\\b\\c");
    WriteTextFile(root + "\\top.txt", "x");
    WriteTextFile(root + "\\a\\b\\c\\deep.txt", "x");
    MakeReadOnly(root + "\\a\\b\\c\\deep.txt");
    MakeReadOnly(root + "\\a\\b");
    WriteTextFile(root + "\\a\\" + "表.txt", "x");
    DeleteTree(root + "\\");
    EXPECT_FALSE(PathExists(root));
    DeleteTree(root);  // a missing folder is quietly nothing
}

// A link inside the folder (or the folder itself as a link) to files outside it: whatever the
// deletion does to the link, what it leads to stays. The symbolic links are made on the Linux
// side, where Wine sees them (and where deleting through them would reach their targets).
struct LinkCase {
    const char* what;
    const char* link;  // under the test folder
    const char* target;
    bool symbolic;     // else a hard link
    const char* deleted;  // the folder to delete
};

TEST(Deletion, DeleteTreeNeverDeletesWhatALinkLeadsTo) {
    const LinkCase cases[] = {
        {"hard link to a file", "tree\\sub\\hard.txt", "outside\\keep.txt", false, "tree"},
        {"symbolic link to a file", "tree\\sub\\link.txt", "outside\\keep.txt", true, "tree"},
        {"symbolic link to a folder", "tree\\sub\\link", "outside", true, "tree"},
        {"the folder a symbolic link", "linked_tree", "outside", true, "linked_tree\\"},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolder dir;
        ForceFolders(dir / "outside\\deep");
        WriteTextFile(dir / "outside\\keep.txt", "keep");
        WriteTextFile(dir / "outside\\deep\\keep.txt", "keep");
        ForceFolders(dir / "tree\\sub");
        WriteTextFile(dir / "tree\\sub\\mine.txt", "mine");
        WriteTextFile(dir / "tree\\top.txt", "mine");
        std::unique_ptr<UnixSymlink> symlink;
        if (c.symbolic) {
            symlink = std::make_unique<UnixSymlink>(dir / c.target, dir / c.link);
            ASSERT_TRUE(symlink->made());
        } else {
            ASSERT_TRUE(CreateHardLinkA((dir / c.link).c_str(), (dir / c.target).c_str(), nullptr));
        }
        ASSERT_TRUE(PathExists(dir / c.link));

        DeleteTree(dir / c.deleted);
        EXPECT_EQ("keep", ReadTextFile(dir / "outside\\keep.txt"));
        EXPECT_EQ("keep", ReadTextFile(dir / "outside\\deep\\keep.txt"));
        EXPECT_FALSE(PathExists(dir / "tree\\sub\\mine.txt") && std::string(c.deleted) == "tree");
        EXPECT_FALSE(PathExists(dir / "tree\\top.txt") && std::string(c.deleted) == "tree");
    }
}

}  // namespace
