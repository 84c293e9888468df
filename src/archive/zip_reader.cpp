// File functions for minizip that open the archive read-only while allowing others to read and
// write it: the installer reads the archive appended to its own, running, program file.
#include "archive/zip_reader.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "ioapi.h"
#include "utils/unique_any.h"

namespace {

// minizip reads header fields a byte at a time; an unbuffered ReadFile per byte costs about a
// hundred system calls per member. The stream keeps a small read buffer and moves its position
// lazily: a seek only sets the position. Large reads (member data) bypass the buffer.
struct BufferedFile {
    static constexpr DWORD kBufferSize = 4096;

    UniqueFile file;
    uint64_t position = 0;      // where the next read starts
    uint64_t buffer_start = 0;  // file offset of buffer[0]
    DWORD buffer_length = 0;
    char buffer[kBufferSize];

    explicit BufferedFile(UniqueFile f) : file(std::move(f)) {}

    bool ReadAt(uint64_t offset, void* out, DWORD size, DWORD& read) {
        LARGE_INTEGER distance{};
        distance.QuadPart = static_cast<LONGLONG>(offset);
        return SetFilePointerEx(file.get(), distance, nullptr, FILE_BEGIN) &&
               ::ReadFile(file.get(), out, size, &read, nullptr);
    }

    uLong Read(void* out, uLong size) {
        char* target = static_cast<char*>(out);
        uLong done = 0;
        while (done < size) {
            if (position >= buffer_start && position < buffer_start + buffer_length) {
                const DWORD offset = static_cast<DWORD>(position - buffer_start);
                const uLong take = std::min<uLong>(size - done, buffer_length - offset);
                std::memcpy(target + done, buffer + offset, take);
                done += take;
                position += take;
                continue;
            }
            DWORD read = 0;
            if (size - done >= kBufferSize) {
                if (!ReadAt(position, target + done, size - done, read)) break;
                done += read;
                position += read;
                break;
            }
            buffer_start = position;
            buffer_length = 0;
            if (!ReadAt(position, buffer, kBufferSize, read) || read == 0) break;
            buffer_length = read;
        }
        return done;
    }

    bool Seek(int64_t offset, int origin) {
        int64_t base = 0;
        if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
            base = static_cast<int64_t>(position);
        } else if (origin == ZLIB_FILEFUNC_SEEK_END) {
            LARGE_INTEGER size{};
            if (!GetFileSizeEx(file.get(), &size)) return false;
            base = size.QuadPart;
        } else if (origin != ZLIB_FILEFUNC_SEEK_SET) {
            return false;
        }
        if (base + offset < 0) return false;
        position = static_cast<uint64_t>(base + offset);
        return true;
    }
};

BufferedFile* Stream(voidpf stream) {
    return static_cast<BufferedFile*>(stream);
}

voidpf ZCALLBACK OpenFile(voidpf, const char* filename, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    UniqueFile file(CreateFileA(filename, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    return new (std::nothrow) BufferedFile(std::move(file));
}

uLong ZCALLBACK ReadFile(voidpf, voidpf stream, void* buffer, uLong size) {
    return Stream(stream)->Read(buffer, size);
}

uLong ZCALLBACK WriteFile(voidpf, voidpf, const void*, uLong) {
    return 0;  // the archive is never written
}

long ZCALLBACK TellFile(voidpf, voidpf stream) {
    return static_cast<long>(Stream(stream)->position);
}

long ZCALLBACK SeekFile(voidpf, voidpf stream, uLong offset, int origin) {
    // Offsets from the current position or the end may be negative.
    const int64_t distance = origin == ZLIB_FILEFUNC_SEEK_SET
                                 ? static_cast<int64_t>(offset)
                                 : static_cast<int64_t>(static_cast<long>(offset));
    return Stream(stream)->Seek(distance, origin) ? 0 : -1;
}

int ZCALLBACK CloseFile(voidpf, voidpf stream) {
    std::unique_ptr<BufferedFile> owner(Stream(stream));
    return owner->file.close() ? 0 : -1;
}

int ZCALLBACK TestError(voidpf, voidpf) {
    return 0;
}

}  // namespace

unzFile OpenZipReader(const std::string& path) {
    zlib_filefunc_def functions{};
    functions.zopen_file = OpenFile;
    functions.zread_file = ReadFile;
    functions.zwrite_file = WriteFile;
    functions.ztell_file = TellFile;
    functions.zseek_file = SeekFile;
    functions.zclose_file = CloseFile;
    functions.zerror_file = TestError;
    return unzOpen2(path.c_str(), &functions);
}
