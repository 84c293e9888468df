// Benchmark helper: one download, timed, either as the module-selection page makes it (its
// download stage on the real page, with a thread asking the page for an answer every 10 ms) or
// as a bare WinInet loop with the same session and flags.
//   bench_download.exe page|bare URL FOLDER
// Prints "seconds=S bytes=N longest_answer_ms=M" (M: the page's longest answer; 0 for bare).
#include <windows.h>

#include <commctrl.h>
#include <wininet.h>

#include <cstdio>
#include <string>

#include "bench_report.h"
#include "downloader/download_context.h"
#include "downloader/download_list.h"
#include "downloader/pages/module_page.h"
#include "downloader/pages/stages.h"
#include "resource.h"
#include "utils/message_box.h"
#include "utils/unique_any.h"

namespace {

constexpr char kFileName[] = "bench.bin";

// Asks the page for an answer every 10 ms from its own thread; keeps the longest wait.
struct Prober {
    HWND page;
    HANDLE stop;
    volatile DWORD longest = 0;

    static DWORD WINAPI Run(void* self) {
        Prober& p = *static_cast<Prober*>(self);
        do {
            const DWORD start = GetTickCount();
            DWORD_PTR result = 0;
            SendMessageTimeoutA(p.page, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
            const DWORD took = GetTickCount() - start;
            if (took > p.longest) p.longest = took;
        } while (WaitForSingleObject(p.stop, 10) == WAIT_TIMEOUT);
        return 0;
    }
};

uint64_t SizeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The page's download stage on a one-program list.
int RunPage(const std::string& url, const std::string& folder, double& seconds, DWORD& longest) {
    InitCommonControls();
    DownloadContext().TempDir = folder;
    TDownloadListProp record;
    record.ViewName = "bench";
    record.DownloadFile = url;
    DownloadList().push_back(record);
    ResetModulePage();
    UniqueWindow page(CreateDialogParamA(GetModuleHandleA(nullptr),
                                         MAKEINTRESOURCEA(IDD_SELINSTALLMODULE), nullptr,
                                         SelInstallModuleDlgProc, 0));
    if (!page) return 1;
    ShowWindow(page.get(), SW_SHOW);
    ScopedBoxAnswers answers;  // a failure is reported below, not in a box
    UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Prober prober{page.get(), stop.get()};
    UniqueHandle thread(CreateThread(nullptr, 0, &Prober::Run, &prober, 0, nullptr));

    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    const bool fetched = DownloadStage(page.get());
    seconds = SecondsSince(start);
    SetEvent(stop.get());
    // The prober may be asking the page right now: answer while waiting for it.
    const HANDLE prober_thread = thread.get();
    while (MsgWaitForMultipleObjects(1, &prober_thread, FALSE, INFINITE, QS_ALLINPUT) !=
           WAIT_OBJECT_0) {
        MSG message{};
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    longest = prober.longest;
    for (const AskedBox& box : answers.asked()) std::fprintf(stderr, "box: %s\n", box.text.c_str());
    return fetched ? 0 : 1;
}

// The loop the page's download is measured against: same agent, access type and flags.
int RunBare(const std::string& url, const std::string& path, double& seconds) {
    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    UniqueInternet session(InternetOpenA("Ombrevine_CharacterInstaller/1.00",
                                         INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return 1;
    UniqueInternet request(
        InternetOpenUrlA(session.get(), url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0));
    if (!request) return 1;
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 1;
    static char block[0x3FFF];
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request.get(), block, sizeof block, &read)) return 1;
        if (read == 0) break;
        DWORD written = 0;
        if (!WriteFile(file.get(), block, read, &written, nullptr) || written != read) return 1;
    }
    file.reset();
    seconds = SecondsSince(start);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: bench_download.exe page|bare URL FOLDER\n", stderr);
        return 2;
    }
    const std::string mode = argv[1];
    std::string folder = argv[3];
    if (folder.back() != '\\') folder += '\\';
    const std::string path = folder + kFileName;
    double seconds = 0;
    DWORD longest = 0;
    const int result = mode == "page" ? RunPage(std::string(argv[2]) + "/" + kFileName, folder,
                                                seconds, longest)
                                      : RunBare(std::string(argv[2]) + "/" + kFileName, path, seconds);
    const uint64_t bytes = SizeOf(path);
    DeleteFileA(path.c_str());
    if (result != 0) {
        std::fputs("bench_download: the download failed\n", stderr);
        return 1;
    }
    std::printf("seconds=%.6f bytes=%llu longest_answer_ms=%lu\n", seconds,
                static_cast<unsigned long long>(bytes), static_cast<unsigned long>(longest));
    return 0;
}
