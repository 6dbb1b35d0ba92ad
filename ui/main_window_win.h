// The main window's procedure (registered by the program entry).
#pragma once

#include <windows.h>

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wordParam, LPARAM longParam);

// Before the window shows: the disc list as the library restored the
// magazine, and Random and Next enabled, when it restored any slot.
void ShowRestoredMagazine(HWND window);
