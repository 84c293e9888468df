// Writing the package archive and the package file.
#include "zip_writer.h"

#include "utils/unique_any.h"
#include "zip.h"

namespace {

constexpr DWORD kPieceSize = 32768;
// The installer reads member sizes and offsets of 32 bits: ZIP64 serves only for more than
// 65,535 entries (minizip's writer then adds the ZIP64 end records by itself).
constexpr uint64_t kMaxArchiveSize = 0xFFFFFFFFull;
// The attribute bits a ZIP made on MS-DOS/Windows keeps in its external attributes.
constexpr DWORD kDosAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY |
                                 FILE_ATTRIBUTE_ARCHIVE;

struct ZipWriterTraits {
    using Type = zipFile;
    static Type Empty() { return nullptr; }
    // Also closes a member that is still open.
    static bool Close(Type zip) { return zipClose(zip, nullptr) == ZIP_OK; }
};
using UniqueZipWriter = UniqueAny<ZipWriterTraits>;

UniqueFile OpenForReading(const std::string& path) {
    return UniqueFile(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// The file time as local DOS date and time, held to the range a DOS date can express.
tm_zip ZipTime(const FILETIME& universal) {
    FILETIME local{};
    SYSTEMTIME time{};
    if (!FileTimeToLocalFileTime(&universal, &local) || !FileTimeToSystemTime(&local, &time) ||
        time.wYear < 1980) {
        return tm_zip{0, 0, 0, 1, 0, 1980};
    }
    if (time.wYear > 2107) return tm_zip{58, 59, 23, 31, 11, 2107};
    return tm_zip{time.wSecond, time.wMinute, time.wHour, time.wDay, time.wMonth - 1, time.wYear};
}

bool CopyIntoZip(zipFile zip, const PackageMember& member, std::vector<char>& buffer,
                 std::string& error) {
    UniqueFile file = OpenForReading(member.source);
    if (!file) {
        error = "cannot open " + member.source;
        return false;
    }
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.data(), kPieceSize, &read, nullptr)) {
            error = "cannot read " + member.source;
            return false;
        }
        if (read == 0) return true;
        if (zipWriteInFileInZip(zip, buffer.data(), read) != ZIP_OK) {
            error = "cannot write member " + member.name + " into the archive";
            return false;
        }
    }
}

bool FileSize(const std::string& path, uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

}  // namespace

TemporaryFile::~TemporaryFile() {
    if (!path_.empty()) DeleteFileA(path_.c_str());
}

bool TemporaryFile::Create(const std::string& folder) {
    char name[MAX_PATH + 1] = {};
    if (GetTempFileNameA(folder.c_str(), "mkp", 0, name) == 0) return false;
    path_ = name;
    return true;
}

bool TemporaryFile::MoveTo(const std::string& destination) {
    if (!MoveFileExA(path_.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
    path_.clear();
    return true;
}

bool WriteZipArchive(const std::string& path, const std::vector<PackageMember>& members, int level,
                     std::string& error) {
    UniqueZipWriter zip(zipOpen2(path.c_str(), APPEND_STATUS_CREATE, nullptr, nullptr));
    if (!zip) {
        error = "cannot create " + path;
        return false;
    }
    std::vector<char> buffer(kPieceSize);
    for (const PackageMember& member : members) {
        const bool folder = member.source.empty();
        zip_fileinfo info{};
        info.tmz_date = ZipTime(member.last_write);
        info.external_fa = member.attributes & kDosAttributes;
        const int method = folder || level == 0 ? 0 : Z_DEFLATED;
        if (zipOpenNewFileInZip(zip.get(), member.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                nullptr, method, level) != ZIP_OK) {
            error = "cannot add member " + member.name + " to the archive";
            return false;
        }
        if (!folder && !CopyIntoZip(zip.get(), member, buffer, error)) return false;
        if (zipCloseFileInZip(zip.get()) != ZIP_OK) {
            error = "cannot finish member " + member.name + " in the archive";
            return false;
        }
    }
    if (!zip.close()) {
        error = "cannot finish the archive " + path;
        return false;
    }
    uint64_t size = 0;
    if (!FileSize(path, size) || size >= kMaxArchiveSize) {
        error = "the archive is 4 GiB or larger, more than the installer can read";
        return false;
    }
    return true;
}

bool ConcatenateFiles(const std::string& path, const std::vector<std::string>& sources,
                      std::string& error) {
    UniqueFile out(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) {
        error = "cannot create " + path;
        return false;
    }
    std::vector<char> buffer(kPieceSize);
    for (const std::string& source : sources) {
        UniqueFile in = OpenForReading(source);
        if (!in) {
            error = "cannot open " + source;
            return false;
        }
        for (;;) {
            DWORD read = 0;
            if (!ReadFile(in.get(), buffer.data(), kPieceSize, &read, nullptr)) {
                error = "cannot read " + source;
                return false;
            }
            if (read == 0) break;
            DWORD written = 0;
            if (!WriteFile(out.get(), buffer.data(), read, &written, nullptr) || written != read) {
                error = "cannot write " + path;
                return false;
            }
        }
    }
    if (!out.close()) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
