// The uninstaller's own windows: the progress of a removal and the list to choose from when it
// serves more than one installation. The question and the outcome are message boxes of the flow.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "uninstaller/installation.h"
#include "uninstaller/removal.h"
#include "utils/message_pump.h"
#include "utils/unique_any.h"

// A modeless progress dialog titled after the installation, owned by owner (which is disabled
// meanwhile); the thread's messages are pumped as the steps go by.
class ProgressWindow : public RemovalProgress {
public:
    ProgressWindow(HWND owner, const std::string& title);
    ~ProgressWindow() override;
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    void Start(size_t steps) override;
    void Step(size_t done) override;

private:
    HWND owner_;
    UniqueWindow dialog_;
    size_t steps_ = 0;
    DWORD moved_at_ = 0;  // tick count of the bar's last move
};

// What the list window asks of the flow.
class ListActions {
public:
    virtual ~ListActions() = default;
    // Asks about and removes the installation; the list window is the owner of every box.
    virtual void Remove(const Installation& installation, HWND list_window) = 0;
    // The installations to list now.
    virtual std::vector<Installation> Current() = 0;
};

// The list window, modal: the installations by name and folder, an interrupted one marked; the
// chosen one is removed through actions, after which the list is read again. Ends when the user
// closes it or nothing is left to list.
void ShowInstallationList(ListActions& actions);

// The name shown for an installation: AppName, with a mark for an interrupted one.
std::string ListedName(const Installation& installation);
