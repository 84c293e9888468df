// Resource ids of the installer: shared by installer.rc and the code that loads the templates
// and talks to their controls. Plain #defines, so that windres can read them too.
#pragma once

// The program's icon (the main window's class loads it).
#define IDI_INSTALLER 1

// Dialog templates.
#define IDD_FIRST 1
#define IDD_LICENSE 2
#define IDD_FOLDER 3
#define IDD_SELINSTALLMODULE 5
#define IDD_PROGRESS 6

// Agreement page (template 2).
#define IDC_LICENSE_AGREE 101
#define IDC_LICENSE_TEXT 102
#define IDC_LICENSE_REFUSE 103

// Install-folder page (template 3).
#define IDC_FOLDER_OK 102
#define IDC_FOLDER_CANCEL 103
#define IDC_FOLDER_BROWSE 106
#define IDC_FOLDER_PATH 1004

// Introductory page (template 1).
#define IDC_FIRST_TEXT 1000
#define IDC_FIRST_NEXT 101
#define IDC_FIRST_CANCEL 103

// Module-selection page (template 5).
#define IDC_MODULE_PROMPT 1000
#define IDC_MODULE_TREE 151
#define IDC_MODULE_PROGRESS 150
#define IDC_MODULE_SIZE_LABEL 1005
#define IDC_MODULE_SIZE 1006
#define IDC_MODULE_NEXT 101
#define IDC_MODULE_CANCEL 103

// Progress dialog (template 6).
#define IDC_PROGRESS_BAR 150
