// Host registration: the host's registry values and its start file.
#include "driver/registration.h"

#include "driver/globals.h"
#include "driver/host.h"
#include "utils/registry.h"
#include "utils/text.h"
#include "utils/unique_any.h"

void WriteHostRegistry() {
    UniqueHKey key = OpenRegKey(HKEY_CURRENT_USER, kHostRegistryKey, KEY_WRITE);
    if (!key) return;
    WriteRegString(key.get(), "Distributor", InstallOptions.Distributor);
    WriteRegString(key.get(), "Attr", InstallOptions.Attr);
}

bool WriteHostRcFile() {
    const TInstallOptions& o = InstallOptions;
    const std::string path = StripTrailingDelimiter(o.InstallDir) + "\\" + kHostRcFileName;
    const std::string content = HostRcFileText(o.Vendor, o.Type);
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()),
                              &written, nullptr) &&
                    written == content.size();
    return file.close() && ok;
}
