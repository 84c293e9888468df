// Writing the package archive and the package file.
#include "zip_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "archive/seal.h"
#include "ioapi.h"
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

// The archive file as minizip's zip writer sees it. The writer writes each header in small pieces
// and, after a member's data, seeks back to patch its local header with the CRC and sizes; with
// stdio every member then costs several system calls. This stream keeps the archive's newest
// bytes in a buffer, so both the pieces and the patch land in memory, and writes the buffer out
// when it is full: one WriteFile per megabyte for small members.
class BufferedArchiveFile {
public:
    static constexpr size_t kBufferSize = 1 << 20;

    explicit BufferedArchiveFile(UniqueFile file) : file_(std::move(file)), buffer_(kBufferSize) {}

    uLong Write(const void* data, uLong size) {
        const uint64_t end_of_buffer = buffer_start_ + buffer_length_;
        const bool fits = position_ >= buffer_start_ && position_ <= end_of_buffer &&
                          position_ + size <= buffer_start_ + kBufferSize;
        if (!fits) {
            if (!Flush()) return 0;
            buffer_start_ = position_;
            if (size >= kBufferSize) {
                if (!WriteAt(position_, data, size)) return 0;
                position_ += size;
                buffer_start_ = position_;
                end_ = std::max(end_, position_);
                return size;
            }
        }
        const size_t offset = static_cast<size_t>(position_ - buffer_start_);
        std::memcpy(buffer_.data() + offset, data, size);
        buffer_length_ = std::max<size_t>(buffer_length_, offset + size);
        position_ += size;
        end_ = std::max(end_, position_);
        return size;
    }

    bool Seek(uint64_t offset, int origin) {
        // Offsets from the current position or the end may be negative.
        const int64_t distance = static_cast<int64_t>(offset);
        int64_t base = 0;
        if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
            base = static_cast<int64_t>(position_);
        } else if (origin == ZLIB_FILEFUNC_SEEK_END) {
            base = static_cast<int64_t>(end_);
        } else if (origin != ZLIB_FILEFUNC_SEEK_SET) {
            return false;
        }
        if (base + distance < 0) return false;
        position_ = static_cast<uint64_t>(base + distance);
        return true;
    }

    uint64_t Tell() const { return position_; }

    bool Close() {
        const bool flushed = Flush();
        return file_.close() && flushed;
    }

private:
    bool WriteAt(uint64_t offset, const void* data, size_t size) {
        LARGE_INTEGER distance{};
        distance.QuadPart = static_cast<LONGLONG>(offset);
        DWORD written = 0;
        return SetFilePointerEx(file_.get(), distance, nullptr, FILE_BEGIN) &&
               ::WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, nullptr) &&
               written == size;
    }

    bool Flush() {
        if (buffer_length_ == 0) return true;
        const bool written = WriteAt(buffer_start_, buffer_.data(), buffer_length_);
        buffer_start_ += buffer_length_;
        buffer_length_ = 0;
        return written;
    }

    UniqueFile file_;
    std::vector<char> buffer_;
    uint64_t buffer_start_ = 0;  // archive offset of buffer_[0]
    size_t buffer_length_ = 0;   // bytes of the buffer to be written
    uint64_t position_ = 0;      // where the next write goes
    uint64_t end_ = 0;           // the archive's length so far
};

BufferedArchiveFile* Stream(voidpf stream) {
    return static_cast<BufferedArchiveFile*>(stream);
}

voidpf ZCALLBACK OpenArchiveFile(voidpf, const void* filename, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_CREATE) == 0) return nullptr;  // archives are only created
    UniqueFile file(CreateFileA(static_cast<const char*>(filename), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    return new (std::nothrow) BufferedArchiveFile(std::move(file));
}

uLong ZCALLBACK ReadArchiveFile(voidpf, voidpf, void*, uLong) {
    return 0;  // never read back
}

uLong ZCALLBACK WriteArchiveFile(voidpf, voidpf stream, const void* data, uLong size) {
    return Stream(stream)->Write(data, size);
}

ZPOS64_T ZCALLBACK TellArchiveFile(voidpf, voidpf stream) {
    return Stream(stream)->Tell();
}

long ZCALLBACK SeekArchiveFile(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    return Stream(stream)->Seek(offset, origin) ? 0 : -1;
}

int ZCALLBACK CloseArchiveFile(voidpf, voidpf stream) {
    std::unique_ptr<BufferedArchiveFile> owner(Stream(stream));
    return owner->Close() ? 0 : -1;
}

int ZCALLBACK ArchiveFileError(voidpf, voidpf) {
    return 0;
}

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

// Small files are read whole and deflated in memory by one deflate stream that is only reset
// between them: minizip's own deflating sets up and tears down a stream of a quarter megabyte for
// every member, which dominates the cost of packing many small files. A member that deflate does
// not make smaller is stored, which also spares the installer an inflate stream for it.
class SmallFilePacker {
public:
    static constexpr uint64_t kLimit = 64 * 1024;  // larger files are streamed through minizip

    explicit SmallFilePacker(int level) : level_(level) {
        // The raw deflate format that minizip writes (no zlib header), with its memory level.
        ready_ = level_ > 0 && deflateInit2(&stream_, level_, Z_DEFLATED, -MAX_WBITS, 8,
                                             Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~SmallFilePacker() {
        if (ready_) deflateEnd(&stream_);
    }
    SmallFilePacker(const SmallFilePacker&) = delete;
    SmallFilePacker& operator=(const SmallFilePacker&) = delete;

    bool Pack(zipFile zip, const PackageMember& member, const zip_fileinfo& info,
              std::string& error) {
        if (!ReadWhole(member, error)) return false;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(data_.data()),
                                static_cast<uInt>(data_.size()));
        const bool deflated = Deflate() && packed_.size() < data_.size();
        const std::string& stored = deflated ? packed_ : data_;
        if (zipOpenNewFileInZip2(zip, member.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                 deflated ? Z_DEFLATED : 0, deflated ? level_ : 0, 1) != ZIP_OK ||
            zipWriteInFileInZip(zip, stored.data(), static_cast<unsigned>(stored.size())) !=
                ZIP_OK ||
            zipCloseFileInZipRaw(zip, static_cast<uLong>(data_.size()), crc) != ZIP_OK) {
            error = "cannot write member " + member.name + " into the archive";
            return false;
        }
        return true;
    }

private:
    bool ReadWhole(const PackageMember& member, std::string& error) {
        UniqueFile file = OpenForReading(member.source);
        if (!file) {
            error = "cannot open " + member.source;
            return false;
        }
        // One byte more than the limit tells a file that grew since it was listed.
        data_.resize(kLimit + 1);
        DWORD done = 0;
        for (DWORD read = 1; read > 0 && done < data_.size(); done += read) {
            if (!ReadFile(file.get(), data_.data() + done, static_cast<DWORD>(data_.size()) - done,
                          &read, nullptr)) {
                error = "cannot read " + member.source;
                return false;
            }
        }
        if (done > kLimit) {
            error = member.source + " changed while it was packed";
            return false;
        }
        data_.resize(done);
        return true;
    }

    bool Deflate() {
        if (!ready_ || deflateReset(&stream_) != Z_OK) return false;
        packed_.resize(deflateBound(&stream_, static_cast<uLong>(data_.size())));
        stream_.next_in = reinterpret_cast<Bytef*>(data_.data());
        stream_.avail_in = static_cast<uInt>(data_.size());
        stream_.next_out = reinterpret_cast<Bytef*>(packed_.data());
        stream_.avail_out = static_cast<uInt>(packed_.size());
        if (deflate(&stream_, Z_FINISH) != Z_STREAM_END) return false;
        packed_.resize(stream_.total_out);
        return true;
    }

    int level_;
    z_stream stream_{};
    bool ready_ = false;
    std::string data_;
    std::string packed_;
};

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
    zlib_filefunc64_def functions{};
    functions.zopen64_file = OpenArchiveFile;
    functions.zread_file = ReadArchiveFile;
    functions.zwrite_file = WriteArchiveFile;
    functions.ztell64_file = TellArchiveFile;
    functions.zseek64_file = SeekArchiveFile;
    functions.zclose_file = CloseArchiveFile;
    functions.zerror_file = ArchiveFileError;
    UniqueZipWriter zip(zipOpen2_64(path.c_str(), APPEND_STATUS_CREATE, nullptr, &functions));
    if (!zip) {
        error = "cannot create " + path;
        return false;
    }
    std::vector<char> buffer(kPieceSize);
    SmallFilePacker small_files(level);
    for (const PackageMember& member : members) {
        const bool folder = member.source.empty();
        zip_fileinfo info{};
        info.tmz_date = ZipTime(member.last_write);
        info.external_fa = member.attributes & kDosAttributes;
        if (!folder && member.size <= SmallFilePacker::kLimit) {
            if (!small_files.Pack(zip.get(), member, info, error)) return false;
            continue;
        }
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
    // The comment is the seal, its digest filled in once the package file is complete.
    if (zipClose(zip.release(), SealPlaceholder().c_str()) != ZIP_OK) {
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
