// The download list for the rest of the run.
#include "downloader/download_list.h"

std::vector<TDownloadListProp>& DownloadList() {
    static std::vector<TDownloadListProp> list;
    return list;
}

bool HasDownloadItems() {
    return !DownloadList().empty();
}
