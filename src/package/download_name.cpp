// The file names of downloads.
#include "package/download_name.h"

#include "package/entry_name.h"
#include "utils/text.h"

std::string DownloadFileName(const std::string& url) {
    const int query = FindFrom(url, "?", 1);
    const std::string path = query == 0 ? url : url.substr(0, query - 1);
    const int slash = LastCharPos('/', path);
    return slash == 0 ? std::string() : path.substr(slash);
}

TDownloadNameProblem CheckDownloadFileName(const std::string& name) {
    if (name.empty()) return TDownloadNameProblem::kEmpty;
    if (CheckEntryName(name) != UnsafeName::kSafe) return TDownloadNameProblem::kUnsafe;
    // A "/" never reaches the name; a backslash is one only where a character starts with it.
    if (FileNameOf(name) != name) return TDownloadNameProblem::kSeparator;
    return TDownloadNameProblem::kSafe;
}
