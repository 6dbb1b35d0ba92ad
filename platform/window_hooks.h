// Hooks through which the portable core reaches the window system. The
// bottom layer: it includes nothing of the project, and every other layer may
// include it. The program implements the hooks with Win32
// (window_hooks_win.cpp); native builds record the calls
// (window_hooks_posix.cpp) so tests can check them.
#pragma once

#include <atomic>

// An opaque window handle: an HWND in the program, a token in native tests.
using WindowHandle = void*;

// The main window; empty until start-up has created it. Set once by the
// window thread, read by the remote server's threads (hence atomic).
extern std::atomic<WindowHandle> g_hWnd;

// The status panel of the main window, in client pixels: painted by the
// window, invalidated by RequestStatusRepaint.
struct StatusRect {
    int left, top, right, bottom;
};
const StatusRect g_rcStatus = {10, 10, 250, 80};

// Shows a modal box with one OK button and waits until the user closes it.
void ShowErrorBox(WindowHandle owner, const char* text, const char* caption);

// Shows a box with one OK button without waiting for it, so a caller that
// holds a lock may raise it: on the window thread, owned by the main window,
// once that exists; before, on a thread of its own with no owner. text and
// caption must live for the whole run (string literals). While a posted box
// is still open (nobody has pressed OK) a new one is dropped, so boxes do not
// pile up on an unattended screen.
void PostErrorBox(const char* text, const char* caption);

// Marks the status panel of the window for repainting, with background
// erase. Never blocks.
void RequestStatusRepaint(WindowHandle window);

// Asks the window to redraw the disc-list row of slot n (1..100) from the
// magazine table, and the track list when that row is selected, once its
// message loop runs. Never blocks; nothing while the window does not exist.
void RequestSlotRowRefresh(WindowHandle window, int slotNumber);

// Runs a button command (a bare control id) on the window thread, as if the
// button had been pressed, and waits until it has been handled. Does nothing
// while the window does not exist.
void SendButtonCommand(WindowHandle window, int controlId);

// Queues a command word for the window thread and returns at once; for work
// that may run for minutes (a scan). Does nothing while the window does not
// exist.
void PostButtonCommand(WindowHandle window, int commandWord);

// A command word that carries two numbers besides its id, so it stays a
// positive int: the id in the low 16 bits (where a command message puts the
// control id), first (0..255) in the next 8, second (0..127) in the next 7.
inline int CommandWordWithPair(int commandId, int first, int second) {
    return (commandId & 0xFFFF) | (first & 0xFF) << 16 | (second & 0x7F) << 24;
}

// Whether word carries commandId with a pair; the pair into first, second.
inline bool ReadCommandWordPair(unsigned long long word, int commandId, int* first, int* second) {
    if ((word & 0xFFFF) != static_cast<unsigned long long>(commandId) || word >> 31 != 0) {
        return false;
    }
    *first = static_cast<int>(word >> 16 & 0xFF);
    *second = static_cast<int>(word >> 24 & 0x7F);
    return true;
}
