// Thin wrappers over the tree-view control's messages (ANSI forms).
#pragma once

#include <windows.h>

#include <commctrl.h>

HTREEITEM TreeInsertItem(HWND tree, TVINSERTSTRUCTW& insert);
HIMAGELIST TreeSetImageList(HWND tree, int which, HIMAGELIST list);
HTREEITEM TreeGetNextItem(HWND tree, HTREEITEM item, UINT relation);
// The current (selected) line, or null.
HTREEITEM TreeGetCaret(HWND tree);
bool TreeSelectItem(HWND tree, HTREEITEM item, UINT relation);
// Makes the item the current line.
bool TreeSelectCaret(HWND tree, HTREEITEM item);
bool TreeGetItem(HWND tree, TVITEMA& item);
bool TreeSetItem(HWND tree, const TVITEMA& item);
HTREEITEM TreeHitTest(HWND tree, TVHITTESTINFO& hit);
