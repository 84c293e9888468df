// The download list and the names and places of downloaded files.
#include "downloader/download_list.h"

#include "downloader/install_check.h"
#include "package/package_format.h"
#include "utils/files.h"
#include "utils/process.h"
#include "utils/profile.h"
#include "utils/text.h"

namespace {
const char kDownloadedFolder[] = "downloaded\\";
}

std::vector<TDownloadListProp>& DownloadList() {
    static std::vector<TDownloadListProp> list;
    return list;
}

bool ReadDownloadList(const std::string&) {
    std::vector<TDownloadListProp>& list = DownloadList();
    list.clear();
    for (int32_t n = 0;; ++n) {
        const std::string suffix = IntToText(n);
        TDownloadListProp record;
        record.ViewName = ReadProfileString(kDLViewNameKey + suffix, "");
        if (record.ViewName.empty()) break;
        record.InstallCheck = ReadProfileString(kDLInstallCheckKey + suffix, "");
        if (IsProgramInstalled(record.InstallCheck)) continue;
        record.DownloadFile = ReadProfileString(kDLDownloadFileKey + suffix, "");
        // Read whole: a program may be larger than a 32-bit number holds.
        record.Size = DigitsToSize(ReadProfileString(kDLSizeKey + suffix, ""));
        record.Parameter = ReadProfileString(kDLParameterKey + suffix, "");
        record.Style = ReadProfileInt(kDLStyleKey + suffix, 0);
        record.Sha256 = LowerCaseText(ReadProfileString(kDLSha256Key + suffix, ""));
        record.Downloaded = IsDownloaded(record.DownloadFile);
        if (record.Downloaded) record.Size = 0;
        list.push_back(std::move(record));
    }
    return false;
}

void FreeDownloadList() {
    std::vector<TDownloadListProp>().swap(DownloadList());
}

bool HasDownloadItems() {
    return !DownloadList().empty();
}

uint64_t TotalDownloadSize() {
    uint64_t total = 0;
    for (const TDownloadListProp& record : DownloadList()) total += record.Size;
    return total;
}

std::string DownloadedPath(const std::string& url) {
    return OwnProgramFolder() + kDownloadedFolder + DownloadFileName(url);
}

bool IsDownloaded(const std::string& url) {
    // A name that would lead out of the folder is never looked for.
    return CheckDownloadFileName(DownloadFileName(url)) == TDownloadNameProblem::kSafe &&
           FileExists(DownloadedPath(url));
}
