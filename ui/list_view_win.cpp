// List-view messages behind the list operations: item texts only, no images
// and no item data.
#include "ui/list_view_win.h"

#include <commctrl.h>

void ListViewControl::DeleteAllRows() {
    SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
}

void ListViewControl::InsertRow(int row, const char* text) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = 0;
    item.pszText = const_cast<char*>(text);
    SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void ListViewControl::SetCell(int row, int column, const char* text) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    SendMessageA(list_, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void ListViewControl::EnsureVisible(int row) {
    SendMessageA(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);  // whole row
}

int ListViewControl::RowCount() {
    return static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
}

bool ListViewControl::IsRowSelected(int row) {
    return SendMessageA(list_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) != 0;
}

void ListViewControl::RepaintNow() {
    UpdateWindow(list_);
}

void ListViewControl::SetRedraw(bool on) {
    SendMessageA(list_, WM_SETREDRAW, on ? TRUE : FALSE, 0);
    if (on) {
        InvalidateRect(list_, nullptr, TRUE);
    }
}
