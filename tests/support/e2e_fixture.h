// The fixture of the end-to-end tests: packages built with mkpackage in a test folder, a host
// registry key of their own, and runs of the real installer answered box by box.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/installer_driver.h"
#include "support/saved_registry_key.h"
#include "support/test_support.h"

extern const char kHostKey[];   // the host's key under HKEY_CURRENT_USER
extern const char kError[];     // "エラー"
extern const char kConfirm[];   // "確認"

using Files = std::map<std::string, std::string>;  // path under the package folder -> content

// A plug-in's files: one at the top, two in folders, one with a Japanese name.
Files PluginFiles();

// The record a run keeps in the install folder while it extracts, or "" when there is none.
std::string FindRunRecord(const std::string& folder);
// The files a run record (or uinstall.ini) lists, item0 onwards.
std::vector<std::string> RecordedFiles(const std::string& record);

class InstallerE2E : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static std::string ProgramsFolder();
    // Where the test packages install: dir\out\ (with its backslash).
    std::string Out() const { return dir / "out\\"; }

    // A plug-in package (InstallMode 1) installing into Out().
    std::string PluginSetting(const std::string& extra = "") const;
    // A character package (InstallMode 0) with uninstaller and one shortcut, installing into
    // Out(); extra goes into [options], after_options after it (further sections).
    std::string CharacterSetting(const std::string& extra = "",
                                 const std::string& after_options = "") const;
    static Files CharacterFiles();

    // Builds the package with mkpackage; the installer is dir\name (its own folder is dir).
    std::string Build(const std::string& setting, const Files& files,
                      const std::string& name = "pkg.exe", const std::string& mode = "");
    // Runs the installer with the arguments, answering the expected boxes in order.
    int Run(const std::string& exe, const std::vector<std::string>& arguments,
            const std::vector<ExpectedBox>& boxes);

    // What a silent character installation leaves: uninstall data, uninstaller, start file,
    // shortcuts and the host's registry values.
    void ExpectCharacterInstalled(const std::string& folder);

    // Put back as they were when the test ends, however it ends: SetUp deletes the host key
    // and runs write it; SetUp sets RECORD_FILE and tests set TMP for the runs they start.
    const SavedRegistryKey host_key_{HKEY_CURRENT_USER, kHostKey};
    // Character installations enter themselves in Windows' list of installed programs.
    const SavedRegistryKey uninstall_list_{HKEY_CURRENT_USER,
                                           "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"};
    const ScopedVariable record_file_{"RECORD_FILE"};
    const ScopedVariable tmp_{"TMP"};
    TestFolder dir;
    std::string group_;
};
