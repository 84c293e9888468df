// Host registration: the host's registry values and its start file.
#include "driver/records/registration.h"

#include "driver/flow/globals.h"
#include "driver/flow/installer_mutex.h"
#include "utils/files.h"
#include "utils/registry.h"
#include "utils/run_log.h"
#include "utils/text.h"
#include "utils/unique_any.h"

void WriteHostRegistry() {
    UniqueHKey key = OpenRegKey(HKEY_CURRENT_USER, kHostRegistryKey, KEY_WRITE);
    if (!key) {
        LogLine({"登録 HKEY_CURRENT_USER\\", kHostRegistryKey, OutcomeText(false, "")});
        return;
    }
    WriteRegString(key.get(), "Distributor", InstallOptions.Distributor);
    WriteRegString(key.get(), "Attr", InstallOptions.Attr);
    LogLine({"登録 HKEY_CURRENT_USER\\", kHostRegistryKey, " Distributor=", InstallOptions.Distributor,
             " Attr=", InstallOptions.Attr});
}

bool WriteHostRcFile() {
    const TInstallOptions& o = InstallOptions;
    const std::string path = JoinText({StripTrailingDelimiter(o.InstallDir), "\\", kHostRcFileName});
    const std::string content = HostRcFileText(o.Vendor, o.Type);
    // The host reads it at start: an earlier one stays whole unless the new one is complete.
    const bool written = WriteReplacing(path, content) == FileReplacement::Placed::kDone;
    LogLine({"登録 ", path, OutcomeText(written, "書き込み済み")});
    return written;
}
