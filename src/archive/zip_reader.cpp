// File functions for minizip that open the archive read-only while allowing others to read and
// write it: the installer reads the archive appended to its own, running, program file.
#include "archive/zip_reader.h"

#include <windows.h>

#include "ioapi.h"

namespace {

voidpf ZCALLBACK OpenFile(voidpf, const char* filename, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    HANDLE file = CreateFileA(filename, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

uLong ZCALLBACK ReadFile(voidpf, voidpf stream, void* buffer, uLong size) {
    DWORD read = 0;
    if (!::ReadFile(static_cast<HANDLE>(stream), buffer, size, &read, nullptr)) return 0;
    return read;
}

uLong ZCALLBACK WriteFile(voidpf, voidpf, const void*, uLong) {
    return 0;  // the archive is never written
}

long ZCALLBACK TellFile(voidpf, voidpf stream) {
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(static_cast<HANDLE>(stream), zero, &position, FILE_CURRENT)) return -1;
    return static_cast<long>(position.QuadPart);
}

long ZCALLBACK SeekFile(voidpf, voidpf stream, uLong offset, int origin) {
    DWORD method = FILE_BEGIN;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_CUR: method = FILE_CURRENT; break;
    case ZLIB_FILEFUNC_SEEK_END: method = FILE_END; break;
    case ZLIB_FILEFUNC_SEEK_SET: method = FILE_BEGIN; break;
    default: return -1;
    }
    LARGE_INTEGER distance{};
    // Offsets from the current position or the end may be negative.
    distance.QuadPart = origin == ZLIB_FILEFUNC_SEEK_SET ? static_cast<LONGLONG>(offset)
                                                         : static_cast<LONGLONG>(static_cast<long>(offset));
    return SetFilePointerEx(static_cast<HANDLE>(stream), distance, nullptr, method) ? 0 : -1;
}

int ZCALLBACK CloseFile(voidpf, voidpf stream) {
    return CloseHandle(static_cast<HANDLE>(stream)) ? 0 : -1;
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
