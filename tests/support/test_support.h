// Helpers for tests: temporary folders removed on scope exit, small file utilities.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "utils/unique_any.h"

// A fresh folder under the temporary path, deleted with everything in it when the scope ends.
// path() ends with a backslash.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

void WriteTextFile(const std::string& path, const std::string& content);
std::string ReadTextFile(const std::string& path);
// A folder name in the system's code page, as a user chooses it: on a Japanese system it ends in
// 表, whose second byte is a backslash's; elsewhere it holds the code page's letters ("été-…").
std::string ChosenFolderName();
bool PathExists(const std::string& path);
// Folder of the test exes (where the fixtures are built), with a trailing backslash.
std::string TestBinDir();
// Every file and folder below folder (a path ending in a backslash), by its path relative to it:
// a file's content, or "<folder>" for a folder. Links are listed as what the system shows and
// never followed.
std::map<std::string, std::string> SnapshotTree(const std::string& folder);
// Makes link a symbolic link to target on the Linux side, as ln -s does (under Wine,
// CreateSymbolicLinkA reports success and makes nothing; Wine starts Unix programs). True when
// the link is there.
bool MakeUnixSymlink(const std::string& target, const std::string& link);
// What another program may do to the file, of reading, writing, renaming and deleting, as a
// list ("writing renaming "); a file held against change gives "reading ". A rename is undone.
std::string AllowedAccess(const std::string& path);

// Sets a file's or folder's last-write time the given number of hours back.
bool SetLastWriteHoursAgo(const std::string& path, int hours);

struct IconTraits {
    using Type = HICON;
    static Type Empty() { return nullptr; }
    static bool Close(Type icon) { return ::DestroyIcon(icon) != FALSE; }
};
using UniqueIcon = UniqueAny<IconTraits>;

// The two bitmaps GetIconInfo makes for an icon, deleted when the scope ends.
struct IconBitmaps {
    UniqueGdiObject color;
    UniqueGdiObject mask;
    HBITMAP color_bitmap() const { return static_cast<HBITMAP>(color.get()); }
};
// The icon's bitmaps; false (and nothing held) when the system cannot give them.
bool ReadIconBitmaps(HICON icon, IconBitmaps& bitmaps);

// An environment variable of the test process (which the programs it starts inherit), put back
// as it was, set or not, when the scope ends; the second form also sets it for the scope.
class ScopedVariable {
public:
    explicit ScopedVariable(const std::string& name);
    ScopedVariable(const std::string& name, const std::string& value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string name_;
    bool was_set_ = false;
    std::string old_;
};

// Makes a folder the process's current folder for the scope (children start in it).
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(const std::string& folder);
    ~ScopedCurrentFolder();
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

private:
    std::string old_;
};

// The Linux side of the Wine prefix, for what a Windows program cannot make under Wine.
// The Linux path of a Windows path; empty when Wine cannot tell (or the tests run on Windows).
std::string UnixPath(const std::string& windows_path);
// Runs a Linux program (an absolute path, then its arguments, UTF-8) and waits for it: its exit
// status, or -1 when it cannot be started.
int RunUnixProgram(const std::vector<std::string>& arguments);

// A symbolic link made on the Linux side (ln -s), which Wine then sees as a link: Wine's
// CreateSymbolicLinkA reports success and makes nothing. Removed as a link when the scope ends.
class UnixSymlink {
public:
    UnixSymlink(const std::string& target, const std::string& link);
    ~UnixSymlink();
    UnixSymlink(const UnixSymlink&) = delete;
    UnixSymlink& operator=(const UnixSymlink&) = delete;
    bool made() const { return made_; }

private:
    std::string link_;
    bool made_ = false;
};

// A new folder that nobody can create files in, from the Linux side: made read-only, and
// immutable too (chattr +i) since root writes into read-only folders. Made writable again when
// the scope ends. made() tells whether a file can no longer be created in it.
class UnwritableFolder {
public:
    explicit UnwritableFolder(const std::string& folder);
    ~UnwritableFolder();
    UnwritableFolder(const UnwritableFolder&) = delete;
    UnwritableFolder& operator=(const UnwritableFolder&) = delete;
    bool made() const { return made_; }

private:
    std::string unix_folder_;
    bool made_ = false;
};

// A volume of its own of size_kb kilobytes (a tmpfs, mounted from the Linux side; needs root)
// at a new folder: a disk that fills up. Unmounted, with what it holds, when the scope ends.
class SmallVolume {
public:
    SmallVolume(const std::string& folder, int size_kb);
    ~SmallVolume();
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::string unix_folder_;
    bool mounted_ = false;
};

// Waits (up to timeout_ms) on another thread for a real dialog box of this process with the given
// caption to appear, records its static text and presses the button with the given id.
class BoxPresser {
public:
    BoxPresser(const std::string& caption, int button_id, DWORD timeout_ms = 10000);
    ~BoxPresser();
    BoxPresser(const BoxPresser&) = delete;
    BoxPresser& operator=(const BoxPresser&) = delete;

    // Waits for the thread; true when a box was found and its button pressed.
    bool Wait();
    const std::string& text() const { return text_; }
    HWND owner() const { return owner_; }

private:
    static DWORD WINAPI Run(void* self);
    std::string caption_;
    int button_id_;
    DWORD timeout_ms_;
    std::string text_;
    HWND owner_ = nullptr;
    bool pressed_ = false;
    UniqueHandle thread_;
};
