// The list operations of the scan and the main window over a Win32 list-view.
#pragma once

#include <windows.h>

#include "changer/list_control.h"

class ListViewControl : public ListControl {
public:
    explicit ListViewControl(HWND list) : list_(list) {}

    void DeleteAllRows() override;
    void InsertRow(int row, const char* text) override;
    void SetCell(int row, int column, const char* text) override;
    void EnsureVisible(int row) override;
    int RowCount() override;
    bool IsRowSelected(int row) override;
    void RepaintNow() override;
    void SetRedraw(bool on) override;

private:
    HWND list_;
};
