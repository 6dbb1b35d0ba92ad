// The few list-view operations the magazine scan and the track list need.
// The program implements them over a Win32 list-view; tests use a fake.
#pragma once

class ListControl {
public:
    virtual ~ListControl() = default;

    virtual void DeleteAllRows() = 0;
    // Adds row `row` with the text of column 0.
    virtual void InsertRow(int row, const char* text) = 0;
    virtual void SetCell(int row, int column, const char* text) = 0;
    // Scrolls row into view, whole.
    virtual void EnsureVisible(int row) = 0;
    virtual int RowCount() = 0;
    virtual bool IsRowSelected(int row) = 0;
    // Repaints the list now, while the window thread is busy.
    virtual void RepaintNow() = 0;
    // Off: rows change without being drawn, for many rows at once; on
    // again: the list is drawn as it now stands.
    virtual void SetRedraw(bool on) = 0;
};
