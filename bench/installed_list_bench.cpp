// Times writing an INSTALLEDFILE list of N entries into a setting file two ways: key by key
// through WritePrivateProfileStringA (each call rewrites the whole file), and as one section
// written once, as the extraction run does. Prints milliseconds for each.
//   installed_list_bench.exe N FOLDER
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string EntryName(int i) {
    return "data\\folder" + std::to_string(i % 50) + "\\file" + std::to_string(i) + ".txt";
}

void Reset(const std::string& file) {
    DeleteFileA(file.c_str());
    WritePrivateProfileStringA("options", "AppName", "bench", file.c_str());
}

DWORD KeyByKey(const std::string& file, int n) {
    Reset(file);
    const DWORD start = GetTickCount();
    for (int i = 0; i < n; ++i) {
        WritePrivateProfileStringA("INSTALLEDFILE", ("item" + std::to_string(i)).c_str(),
                                   EntryName(i).c_str(), file.c_str());
    }
    return GetTickCount() - start;
}

DWORD WholeSection(const std::string& file, int n) {
    Reset(file);
    const DWORD start = GetTickCount();
    std::string content;
    for (int i = 0; i < n; ++i) {
        content += "item" + std::to_string(i) + "=" + EntryName(i);
        content += '\0';
    }
    content += '\0';
    WritePrivateProfileSectionA("INSTALLEDFILE", content.c_str(), file.c_str());
    return GetTickCount() - start;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: installed_list_bench N FOLDER\n");
        return 2;
    }
    const int n = std::atoi(argv[1]);
    const std::string folder = argv[2];
    const std::string keys_file = folder + "\\keys.ini";
    const std::string section_file = folder + "\\section.ini";
    const DWORD section_ms = WholeSection(section_file, n);
    const DWORD keys_ms = KeyByKey(keys_file, n);
    char check[MAX_PATH];
    GetPrivateProfileStringA("INSTALLEDFILE", ("item" + std::to_string(n - 1)).c_str(), "", check,
                             sizeof check, section_file.c_str());
    std::printf("entries=%d key_by_key_ms=%lu whole_section_ms=%lu last=%s\n", n, keys_ms,
                section_ms, check);
    return 0;
}
