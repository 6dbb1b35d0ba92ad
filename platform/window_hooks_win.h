// What the Win32 window hooks share with the main window.
#pragma once

#include <windows.h>

// Posted to the main window by PostErrorBox: word parameter the text, long
// parameter the caption, both string literals.
const UINT kErrorBoxMessage = WM_APP + 1;

// Posted to the main window by RequestSlotRowRefresh: word parameter the
// slot number.
const UINT kSlotRowMessage = WM_APP + 2;

// Called by whoever showed a posted box once the user has closed it: from
// then on PostErrorBox raises a box again.
void PostedErrorBoxClosed();
