// The main window: builds its controls and columns, starts the status poll,
// paints the status panel and hands buttons and list clicks to the logic.
#include "ui/main_window_win.h"

#include <commctrl.h>

#include <string>
#include <system_error>
#include <thread>

#include "changer/status_poll.h"
#include "platform/window_hooks.h"
#include "platform/window_hooks_win.h"
#include "resources/resource_ids.h"
#include "ui/gdi_scoped_win.h"
#include "ui/layout_builder_win.h"
#include "ui/list_view_win.h"
#include "ui/main_window_logic.h"
#include "ui/remembered_magazine.h"

namespace {

const int kPanelTextInset = 2;  // text starts this far inside g_rcStatus

// At most this many queued messages are handled between two slots of a
// scan, so that a flood of input cannot hold the scan up.
const int kMessagesPerScanPause = 200;

class MainWindow : public MainWindowSurface {
public:
    explicit MainWindow(HWND window)
        : window_(window),
          discs_(GetDlgItem(window, IDC_DISCLIST)),
          tracks_(GetDlgItem(window, IDC_TRACKLIST)) {}

    ListControl& DiscList() override { return discs_; }
    ListControl& TrackList() override { return tracks_; }
    void EnableShuffleButtons() override {
        EnableWindow(GetDlgItem(window_, IDC_RANDOM), TRUE);
        EnableWindow(GetDlgItem(window_, IDC_NEXT), TRUE);
    }
    void DestroyMainWindow() override { DestroyWindow(window_); }

    // Sent messages (a forwarded remote command) are handled inside
    // PeekMessage. Of the queue only the system's messages (below WM_USER:
    // paint, mouse, keyboard, the close box) are taken; the program's own
    // posted messages wait for the main loop, as they may show a box.
    void HandlePendingMessages() override {
        MSG message;
        for (int handled = 0; handled < kMessagesPerScanPause &&
                              PeekMessageA(&message, nullptr, 0, WM_USER - 1, PM_REMOVE);
             ++handled) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));  // for the main loop
                g_bExitRequested = true;
                return;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    void ShowOwnedErrorBox(const char* text, const char* caption) override {
        ShowErrorBox(window_, text, caption);
    }

private:
    HWND window_;
    ListViewControl discs_;
    ListViewControl tracks_;
};

// tmAveCharWidth + 1 of ANSI_VAR_FONT on the screen.
int MeasureColumnUnit() {
    ScopedGetDC screen(nullptr);
    ScopedSelectObject font(screen, GetStockObject(ANSI_VAR_FONT));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(screen, &metrics);
    return metrics.tmAveCharWidth + 1;
}

void InsertColumns(HWND list, const ListColumn* columns, int unit) {
    for (int index = 0; index < kListColumnCount; ++index) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = LVCFMT_LEFT;
        column.cx = unit * columns[index].widthUnits;
        column.pszText = const_cast<char*>(columns[index].heading);
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&column));
    }
}

void StartStatusPoll(HWND window) {
    try {
        std::thread(PollStatusThread, static_cast<WindowHandle>(window), PollLoop()).detach();
    } catch (const std::system_error&) {
        ShowErrorBox(window, "Couldn't start the status poll.", "Error");
    }
}

LRESULT OnCreate(HWND window, const CREATESTRUCTA* creation) {
    // The layout sets the title, size and frame bits; the window goes on
    // with whatever was built if it fails.
    BuildControlsFromTemplate(window, nullptr, MAKEINTRESOURCEA(IDD_LAYOUT), creation->hInstance,
                              1);

    char title[128] = {};
    GetWindowTextA(window, title, sizeof title);
    SetWindowTextA(window, TitleWithPort(title).c_str());

    int unit = MeasureColumnUnit();
    InsertColumns(GetDlgItem(window, IDC_DISCLIST), kDiscListColumns, unit);
    InsertColumns(GetDlgItem(window, IDC_TRACKLIST), kTrackListColumns, unit);

    StartStatusPoll(window);
    return 0;
}

LRESULT OnPaint(HWND window) {
    ScopedPaint dc(window);
    SetBkMode(dc, TRANSPARENT);
    ScopedSelectObject font(dc, GetStockObject(ANSI_VAR_FONT));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);

    RECT panel = {g_rcStatus.left, g_rcStatus.top, g_rcStatus.right, g_rcStatus.bottom};
    FrameRect(dc, &panel, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

    // Safe between the slots of a scan too: the painter waits for no lock
    // that another thread holds across the line.
    StatusPanelText text = FormatStatusPanel();
    for (int line = 0; line < text.lineCount; ++line) {
        TextOutA(dc, g_rcStatus.left + kPanelTextInset,
                 g_rcStatus.top + kPanelTextInset + line * metrics.tmHeight,
                 text.lines[line].c_str(), static_cast<int>(text.lines[line].size()));
    }
    return 0;
}

LRESULT OnNotify(HWND window, WPARAM wordParam, const NMHDR* header) {
    if (header != nullptr) {
        ListViewControl source(header->hwndFrom);
        ListViewControl tracks(GetDlgItem(window, IDC_TRACKLIST));
        HandleListNotify(wordParam, static_cast<int>(header->code), source, tracks);
    }
    return 0;
}

// A posted box that arrived while a button's work ran: a system modal loop
// (moving the window) inside the scan's pump dispatches posted messages, and
// the scan holds the serial lock. Shown once that work has ended. Window
// thread only.
const char* pendingBoxText = nullptr;
const char* pendingBoxCaption = nullptr;

void ShowErrorBoxNow(HWND window, const char* text, const char* caption) {
    MessageBoxA(window, text, caption, MB_OK);
}

LRESULT OnCommand(HWND window, WPARAM wordParam) {
    MainWindow surface(window);
    HandleButtonCommand(wordParam, surface);
    if (!g_bCommandRunning && pendingBoxText != nullptr) {
        const char* text = pendingBoxText;
        pendingBoxText = nullptr;
        ShowErrorBoxNow(window, text, pendingBoxCaption);
        PostedErrorBoxClosed();
    }
    return 0;
}

// A box posted by a worker thread (PostErrorBox): owned by this window, so
// the window takes no clicks until it is closed.
LRESULT OnErrorBox(HWND window, WPARAM text, LPARAM caption) {
    if (g_bCommandRunning) {
        pendingBoxText = reinterpret_cast<const char*>(text);
        pendingBoxCaption = reinterpret_cast<const char*>(caption);
        return 0;
    }
    ShowErrorBoxNow(window, reinterpret_cast<const char*>(text),
                    reinterpret_cast<const char*>(caption));
    PostedErrorBoxClosed();
    return 0;
}

// A slot read anew off the window thread (a first load found another disc).
LRESULT OnSlotRow(HWND window, WPARAM slotNumber) {
    ListViewControl discs(GetDlgItem(window, IDC_DISCLIST));
    ListViewControl tracks(GetDlgItem(window, IDC_TRACKLIST));
    RefreshSlotRow(discs, tracks, static_cast<int>(slotNumber));
    return 0;
}

LRESULT OnClose(HWND window) {
    MainWindow surface(window);
    HandleCloseRequest(surface);
    return 0;
}

LRESULT OnDestroy(HWND window) {
    ReleaseLayoutFont(window);
    PostQuitMessage(0);
    return 0;
}

}  // namespace

void ShowRestoredMagazine(HWND window) {
    MainWindow surface(window);
    ShowRememberedMagazine(surface);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wordParam, LPARAM longParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(window, reinterpret_cast<const CREATESTRUCTA*>(longParam));
        case WM_PAINT:
            return OnPaint(window);
        case WM_NOTIFY:
            return OnNotify(window, wordParam, reinterpret_cast<const NMHDR*>(longParam));
        case WM_COMMAND:
            return OnCommand(window, wordParam);
        case WM_CLOSE:
            return OnClose(window);
        case WM_DESTROY:
            return OnDestroy(window);
        case kErrorBoxMessage:
            return OnErrorBox(window, wordParam, longParam);
        case kSlotRowMessage:
            return OnSlotRow(window, wordParam);
        default:
            return DefWindowProcA(window, message, wordParam, longParam);
    }
}
