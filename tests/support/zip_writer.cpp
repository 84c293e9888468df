// Test archives through minizip's zip writer.
#include "support/zip_writer.h"

#include <windows.h>

#include "support/test_support.h"
#include "zip.h"

bool WriteZip(const std::string& path, const ZipMembers& members, const std::string& prefix_file) {
    const std::string archive = prefix_file.empty() ? path : path + ".zip.tmp";
    zipFile zip = zipOpen(archive.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) return false;
    bool ok = true;
    for (const auto& [name, content] : members) {
        zip_fileinfo info{};
        info.tmz_date = {8, 6, 5, 4, 2, 2021};  // 2021-03-04 05:06:08
        ok = ok && zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                       Z_DEFLATED, 6) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zip, content.data(),
                                       static_cast<unsigned>(content.size())) == ZIP_OK;
        ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
    }
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    if (!ok || prefix_file.empty()) return ok;
    const std::string joined = ReadTextFile(prefix_file) + ReadTextFile(archive);
    DeleteFileA(archive.c_str());
    WriteTextFile(path, joined);
    return true;
}
