// The download list and the names and places of downloaded files.
#include "downloader/download_list.h"

#include "archive/zarchive.h"
#include "downloader/install_check.h"
#include "downloader/module_page.h"
#include "driver/globals.h"
#include "utils/files.h"
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
        record.ViewName = ReadProfileString("DLViewName_" + suffix, "");
        if (record.ViewName.empty()) break;
        record.InstallCheck = ReadProfileString("DLInstallCheck_" + suffix, "");
        if (IsProgramInstalled(record.InstallCheck)) continue;
        record.DownloadFile = ReadProfileString("DLDownloadFile_" + suffix, "");
        record.Size = ReadProfileInt("DLSize_" + suffix, 0);
        record.Parameter = ReadProfileString("DLParameter_" + suffix, "");
        record.Style = ReadProfileInt("DLStyle_" + suffix, 0);
        record.Sha256 = LowerCaseText(ReadProfileString("DLSha256_" + suffix, ""));
        record.Downloaded = IsDownloaded(record.DownloadFile);
        if (record.Downloaded) record.Size = 0;
        list.push_back(std::move(record));
    }
    ResetModulePage();
    return false;
}

void FreeDownloadList() {
    std::vector<TDownloadListProp>().swap(DownloadList());
}

bool HasDownloadItems() {
    return !DownloadList().empty();
}

int32_t TotalDownloadSize() {
    int32_t total = 0;
    for (const TDownloadListProp& record : DownloadList()) total += record.Size;
    return total;
}

std::string DownloadFileName(const std::string& url) {
    const int query = FindFrom(url, "?", 1);
    const std::string path = query == 0 ? url : url.substr(0, query - 1);
    const int slash = LastCharPos('/', path);
    return slash == 0 ? std::string() : path.substr(slash);
}

TDownloadNameProblem CheckDownloadFileName(const std::string& name) {
    if (name.empty()) return TDownloadNameProblem::kEmpty;
    if (TZlibArchiver::IsUnsafeEntryName(name)) return TDownloadNameProblem::kUnsafe;
    // A "/" never reaches the name; a backslash is one only where a character starts with it.
    if (FileNameOf(name) != name) return TDownloadNameProblem::kSeparator;
    return TDownloadNameProblem::kSafe;
}

std::string DownloadedPath(const std::string& url) {
    return OwnProgramFolder() + kDownloadedFolder + DownloadFileName(url);
}

bool IsDownloaded(const std::string& url) {
    // A name that would lead out of the folder is never looked for.
    return CheckDownloadFileName(DownloadFileName(url)) == TDownloadNameProblem::kSafe &&
           FileExists(DownloadedPath(url));
}
