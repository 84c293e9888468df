// Access to the package archive through minizip: the archive is opened read-only with read and
// write sharing, so a running installer can read its own program file, and any bytes in front
// of the archive (the program image) are skipped by the reader.
#pragma once

#include <string>

#include "unzip.h"

// Case-insensitive name comparison for unzLocateFile: ASCII letters folded to upper case.
// minizip's default (0) is case-sensitive on Unix-like builds, so the value is always explicit.
constexpr int kCaseInsensitive = 2;

// Opens the archive in path; null on any failure.
unzFile OpenZipReader(const std::string& path);

// Owner of an open archive: closed (with any open member) when the owner goes away.
class UniqueUnzFile {
public:
    UniqueUnzFile() = default;
    explicit UniqueUnzFile(unzFile file) : file_(file) {}
    ~UniqueUnzFile() { close(); }
    UniqueUnzFile(const UniqueUnzFile&) = delete;
    UniqueUnzFile& operator=(const UniqueUnzFile&) = delete;

    unzFile get() const { return file_; }
    explicit operator bool() const { return file_ != nullptr; }
    void reset(unzFile file) {
        close();
        file_ = file;
    }
    // Closes the archive; the result of unzClose, or UNZ_PARAMERROR when nothing was open.
    int close() {
        if (file_ == nullptr) return UNZ_PARAMERROR;
        unzFile file = file_;
        file_ = nullptr;
        return unzClose(file);
    }

private:
    unzFile file_ = nullptr;
};
