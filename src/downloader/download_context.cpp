// The download pages' view of the run.
#include "downloader/download_context.h"

TDownloadContext& DownloadContext() {
    static TDownloadContext context;
    return context;
}
