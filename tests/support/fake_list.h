// A list control for native tests: keeps rows of cell texts, a selection
// and counts of repaints.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "changer/list_control.h"

class FakeList : public ListControl {
public:
    static const int kColumns = 6;

    void DeleteAllRows() override;
    void InsertRow(int row, const char* text) override;
    void SetCell(int row, int column, const char* text) override;
    void EnsureVisible(int row) override;
    int RowCount() override;
    bool IsRowSelected(int row) override;
    void RepaintNow() override;
    void SetRedraw(bool on) override;

    // The text of a cell; "<none>" for a cell outside the rows.
    std::string Cell(int row, int column) const;
    // The texts of a row, columns 0..5.
    std::vector<std::string> Row(int row) const;
    void Select(int row);
    void ClearSelection();

    std::vector<std::vector<std::string>> rows;
    std::set<int> selected;
    int repaints = 0;
    bool redraw = true;
    int lastVisible = -1;
};
