// A check list: a tree view whose top-level lines carry a check box as a state image, toggled by
// a click or the space key when its parent allows it, and telling the parent of each change.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

// Check states of a line; a line is chosen in kChecked and kFixed.
constexpr int kNoCheck = -1;  // no box (or the line could not be read)
constexpr int kChecked = 0;
constexpr int kUnchecked = 1;
constexpr int kFixed = 2;     // checked and cannot be changed

// A new top-level line after the last one; null on failure.
HTREEITEM TreeInsertLine(HWND tree, const std::string& text);
void TreeSetStateImages(HWND tree, HIMAGELIST images);
int GetCheckState(HWND tree, HTREEITEM item);
// Nothing for a null item or a line that cannot be read.
void SetCheckState(HWND tree, HTREEITEM item, int state);
// Checked and unchecked swap; lines without a box and fixed lines stay.
void ToggleCheck(HWND tree, HTREEITEM item);
// The line at the client point, whatever part of it was hit; null below the last line.
HTREEITEM HitTestLine(HWND tree, int x, int y);
bool IsChosen(int state);

// The state images cut out of the system's check-box bitmap: a filler (state image 0 means no
// image), checked, empty, checked and pressed. The caller owns the list.
HIMAGELIST BuildCheckImages();
// Notification codes the tree sends its parent as WM_NOTIFY (an NMHDR with the tree's control
// id), as Windows' own controls tell theirs:
//   kCheckTreeChanging before a click or the space key changes a line: the parent returns
//     nonzero to refuse (a dialog through DWLP_MSGRESULT), and the key or click is then dropped;
//   kCheckTreeChanged after a line's box changed that way.
constexpr UINT kCheckTreeChanging = 1;
constexpr UINT kCheckTreeChanged = 2;

// Gives the tree the state images and makes it toggle lines on clicks and the space key.
void AttachCheckTree(HWND tree, HIMAGELIST images);
LRESULT CALLBACK CheckTreeWndProc(HWND tree, UINT message, WPARAM wparam, LPARAM lparam);
