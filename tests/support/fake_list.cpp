// Fake list control for native tests.
#include "tests/support/fake_list.h"

void FakeList::DeleteAllRows() {
    rows.clear();
    selected.clear();
}

void FakeList::InsertRow(int row, const char* text) {
    if (row < 0 || row > static_cast<int>(rows.size())) {
        row = static_cast<int>(rows.size());
    }
    std::vector<std::string> cells(kColumns);
    cells[0] = text;
    rows.insert(rows.begin() + row, cells);
}

void FakeList::SetCell(int row, int column, const char* text) {
    if (row >= 0 && row < static_cast<int>(rows.size()) && column >= 0 && column < kColumns) {
        rows[row][column] = text;
    }
}

void FakeList::EnsureVisible(int row) {
    lastVisible = row;
}

int FakeList::RowCount() {
    return static_cast<int>(rows.size());
}

bool FakeList::IsRowSelected(int row) {
    return selected.count(row) != 0;
}

void FakeList::RepaintNow() {
    ++repaints;
}

std::string FakeList::Cell(int row, int column) const {
    if (row < 0 || row >= static_cast<int>(rows.size()) || column < 0 || column >= kColumns) {
        return "<none>";
    }
    return rows[row][column];
}

std::vector<std::string> FakeList::Row(int row) const {
    if (row < 0 || row >= static_cast<int>(rows.size())) {
        return {};
    }
    return rows[row];
}

void FakeList::Select(int row) {
    selected.insert(row);
}

void FakeList::ClearSelection() {
    selected.clear();
}

void FakeList::SetRedraw(bool on) {
    redraw = on;
}
