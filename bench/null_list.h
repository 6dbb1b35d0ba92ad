// The benchmarks' disc and track lists: they keep only a row count, as the
// lists are not what is timed.
#pragma once

#include "changer/list_control.h"

class NullList : public ListControl {
public:
    void DeleteAllRows() override { rows = 0; }
    void InsertRow(int, const char*) override { ++rows; }
    void SetCell(int, int, const char*) override {}
    void EnsureVisible(int) override {}
    int RowCount() override { return rows; }
    bool IsRowSelected(int) override { return false; }
    void RepaintNow() override {}
    void SetRedraw(bool) override {}
    int rows = 0;
};
