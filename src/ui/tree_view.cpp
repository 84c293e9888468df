// Tree-view message wrappers.
#include "ui/tree_view.h"

HTREEITEM TreeInsertItem(HWND tree, TVINSERTSTRUCTW& insert) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

HIMAGELIST TreeSetImageList(HWND tree, int which, HIMAGELIST list) {
    return reinterpret_cast<HIMAGELIST>(
        SendMessageA(tree, TVM_SETIMAGELIST, which, reinterpret_cast<LPARAM>(list)));
}

HTREEITEM TreeGetNextItem(HWND tree, HTREEITEM item, UINT relation) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM TreeGetCaret(HWND tree) {
    return TreeGetNextItem(tree, nullptr, TVGN_CARET);
}

bool TreeSelectItem(HWND tree, HTREEITEM item, UINT relation) {
    return SendMessageA(tree, TVM_SELECTITEM, relation, reinterpret_cast<LPARAM>(item)) != 0;
}

bool TreeSelectCaret(HWND tree, HTREEITEM item) {
    return TreeSelectItem(tree, item, TVGN_CARET);
}

bool TreeGetItem(HWND tree, TVITEMA& item) {
    return SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

bool TreeSetItem(HWND tree, const TVITEMA& item) {
    return SendMessageA(tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

HTREEITEM TreeHitTest(HWND tree, TVHITTESTINFO& hit) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}
