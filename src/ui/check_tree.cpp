// Check states of tree lines, the state image list and the tree's click and space handling.
#include "ui/check_tree.h"

#include "ui/ddb_bitmap.h"
#include "ui/tree_view.h"
#include "utils/shown_text.h"

namespace {

constexpr int kCheckBoxesBitmap = 32759;  // OBM_CHECKBOXES: 4 columns, 3 rows of boxes
constexpr int kStateShift = 12;

WNDPROC g_previous_tree_proc = nullptr;

// Sends the notification to the tree's parent; its answer.
LRESULT Notify(HWND tree, UINT code) {
    NMHDR header{};
    header.hwndFrom = tree;
    header.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(tree));
    header.code = code;
    return SendMessageA(GetParent(tree), WM_NOTIFY, header.idFrom,
                        reinterpret_cast<LPARAM>(&header));
}

// One cell of row 0 of the source bitmap, copied into a bitmap of its own.
HBITMAP CopyCell(TkvDDBBitmap& source, int column, int width, int height, TkvDDBBitmap& cell) {
    cell.SetWidth(width);
    cell.SetHeight(height);
    BitBlt(cell.DC(), 0, 0, width, height, source.DC(), column * width, 0, SRCCOPY);
    return cell.Handle();
}

}  // namespace

HTREEITEM TreeInsertLine(HWND tree, const std::string& text) {
    std::wstring shown = ShownText(text);
    TVINSERTSTRUCTW insert{};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = shown.data();
    return TreeInsertItem(tree, insert);
}

void TreeSetStateImages(HWND tree, HIMAGELIST images) {
    TreeSetImageList(tree, TVSIL_STATE, images);
}

int GetCheckState(HWND tree, HTREEITEM item) {
    if (item == nullptr) return kNoCheck;
    char text[2] = {};
    TVITEMA record{};
    record.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_PARAM | TVIF_STATE | TVIF_HANDLE |
                  TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    record.hItem = item;
    record.stateMask = TVIS_STATEIMAGEMASK;
    record.pszText = text;
    record.cchTextMax = sizeof text;
    if (!TreeGetItem(tree, record)) return kNoCheck;
    return static_cast<int>((record.state >> kStateShift) & 0xFFF) - 1;
}

void SetCheckState(HWND tree, HTREEITEM item, int state) {
    if (item == nullptr) return;
    TVITEMA record{};
    record.mask = TVIF_STATE | TVIF_HANDLE;
    record.hItem = item;
    if (!TreeGetItem(tree, record)) return;
    record.stateMask = TVIS_STATEIMAGEMASK;
    record.state = INDEXTOSTATEIMAGEMASK(state + 1);
    TreeSetItem(tree, record);
}

void ToggleCheck(HWND tree, HTREEITEM item) {
    if (item == nullptr) return;
    const int state = GetCheckState(tree, item);
    if (state == kNoCheck || state == kFixed) return;
    SetCheckState(tree, item, state == kChecked ? kUnchecked : kChecked);
}

HTREEITEM HitTestLine(HWND tree, int x, int y) {
    TVHITTESTINFO hit{};
    hit.pt = {x, y};
    return TreeHitTest(tree, hit);
}

bool IsChosen(int state) {
    return state == kChecked || state == kFixed;
}

HIMAGELIST BuildCheckImages() {
    TkvDDBBitmap source;
    source.SetHandle(LoadBitmapA(nullptr, MAKEINTRESOURCEA(kCheckBoxesBitmap)));
    const int width = source.Width() / 4;
    const int height = source.Height() / 3;
    HIMAGELIST images = ImageList_Create(width, height, ILC_COLORDDB, 0, 0);
    // Row 0 holds: empty, checked, empty pressed, checked pressed.
    TkvDDBBitmap checked;
    TkvDDBBitmap empty;
    TkvDDBBitmap fixed;
    HBITMAP checked_image = CopyCell(source, 1, width, height, checked);
    ImageList_Add(images, checked_image, nullptr);  // the filler behind state image 0
    ImageList_Add(images, checked_image, nullptr);
    ImageList_Add(images, CopyCell(source, 0, width, height, empty), nullptr);
    ImageList_Add(images, CopyCell(source, 3, width, height, fixed), nullptr);
    return images;
}

void AttachCheckTree(HWND tree, HIMAGELIST images) {
    TreeSetStateImages(tree, images);
    g_previous_tree_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(tree, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CheckTreeWndProc)));
}

LRESULT CALLBACK CheckTreeWndProc(HWND tree, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_LBUTTONDOWN || (message == WM_KEYDOWN && wparam == VK_SPACE)) {
        if (Notify(tree, kCheckTreeChanging) != 0) return 0;
        ToggleCheck(tree, message == WM_KEYDOWN
                              ? TreeGetCaret(tree)
                              : HitTestLine(tree, LOWORD(lparam), HIWORD(lparam)));
        Notify(tree, kCheckTreeChanged);
    }
    return CallWindowProcA(g_previous_tree_proc, tree, message, wparam, lparam);
}
