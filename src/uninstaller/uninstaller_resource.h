// Resource ids of the uninstaller: shared by uninstaller.rc and its windows. Plain #defines, so
// that windres can read them too.
#pragma once

#define IDI_UNINSTALLER 1

// The list of installations, when there is more than one to choose from.
#define IDD_UNINSTALL_LIST 10
#define IDC_UNINSTALL_LIST 1001
// The two one-unit frames that draw the etched line above the buttons.
#define IDC_LIST_RULE_DARK 1003
#define IDC_LIST_RULE_LIGHT 1004

// The progress of one removal.
#define IDD_REMOVAL_PROGRESS 11
#define IDC_REMOVAL_BAR 1002
