// Shell links through IShellLinkA/IPersistFile, and special folders through the shell.
#include "utils/shell.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "utils/files.h"
#include "utils/text.h"
#include "utils/unique_any.h"

ShortcutMade CreateShortcut(const TShortcutSetting& s) {
    ScopedCoInit com;
    UniqueCom<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.put_void()))) {
        return ShortcutMade::kNoShellLink;
    }
    link->SetPath(s.Target.c_str());
    link->SetWorkingDirectory(s.WorkDir.c_str());
    link->SetArguments(s.Args.c_str());
    link->SetShowCmd(s.ShowCmd);
    link->SetDescription(s.Description.c_str());
    link->SetIconLocation(s.IconFile.c_str(), s.IconIndex);

    UniqueCom<IPersistFile> file;
    const HRESULT saved = SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.put_void()))
                              ? file->Save(WideText(s.LinkFile).c_str(), FALSE)
                              : E_NOINTERFACE;
    // A save that reports success may still have written nothing (Wine's, for a name too long):
    // the file must be there. Otherwise the open's error (or the save's) tells why.
    if (SUCCEEDED(saved) && FileExists(s.LinkFile)) return ShortcutMade::kYes;
    if (FAILED(saved) && HRESULT_FACILITY(saved) == FACILITY_WIN32) {
        SetLastError(HRESULT_CODE(saved));
    }
    return ShortcutMade::kNotSaved;
}

std::string GetSpecialFolder(int csidl) {
    UniqueCom<IMalloc> allocator;
    if (FAILED(CoGetMalloc(MEMCTX_TASK, allocator.put()))) return std::string();
    LPITEMIDLIST items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) || items == nullptr) {
        return std::string();
    }
    char path[MAX_PATH + 1] = {};
    std::string result = SHGetPathFromIDListA(items, path) ? path : "";
    allocator->Free(items);
    return result;
}

std::string GetProgramsFolder() {
    return GetSpecialFolder(CSIDL_PROGRAMS);
}
