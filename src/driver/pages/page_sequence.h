// The wizard's page table, the page sequence chosen by the setting file, and pre-extraction.
#pragma once

#include <windows.h>

#include <array>
#include <iterator>
#include <string>

#include "package/package_format.h"

struct TWizardPage {
    char Name[52];  // as written in the Dialogs list; also the page's section name
    DLGPROC DialogProc;
    bool (*InitProc)(const std::string& temp_folder);
    int32_t TemplateId;
};

constexpr int kPageTableSize = static_cast<int>(std::size(kPageNames));

// The pages that exist, in table order.
const std::array<TWizardPage, kPageTableSize>& PageTable();
// The chosen pages; the first slot without a dialog procedure ends the sequence.
const std::array<TWizardPage, kPageSlots>& PageSequence();

// Extracts the setting file and the members listed in preextractlist into the temporary folder.
// The listed members' files (the agreement text, the uninstaller, the last-view file) stay open
// for reading with read sharing only, so that nobody can swap them while a page waits, held by
// the run's files until they are let go (ReleaseRunFiles); the setting file is written to later
// and is not held.
bool PreExtract(const std::string& temp_folder);
// Picks the pages named by Dialogs and lets each prepare itself. Always true.
bool BuildPageSequence(const std::string& setting_file, const std::string& temp_folder);
// Shows the chosen pages modally: 6 when the user went through all of them, otherwise the
// stopping page's result (7 when the first page did not answer 6). A page that cannot be
// shown (-1: no template) is reported with the error box.
int RunPageSequence();
