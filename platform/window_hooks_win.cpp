// Win32 implementations of the hooks the portable core calls.
#include <windows.h>

#include "platform/window_hooks.h"

std::atomic<WindowHandle> g_hWnd{nullptr};

void ShowErrorBox(WindowHandle owner, const char* text, const char* caption) {
    MessageBoxA(static_cast<HWND>(owner), text, caption, MB_OK);
}

void RequestStatusRepaint(WindowHandle window) {
    RECT panel = {g_rcStatus.left, g_rcStatus.top, g_rcStatus.right, g_rcStatus.bottom};
    InvalidateRect(static_cast<HWND>(window), &panel, TRUE);
}

void SendButtonCommand(WindowHandle window, int controlId) {
    if (window == nullptr) {
        return;
    }
    SendMessageA(static_cast<HWND>(window), WM_COMMAND, static_cast<WPARAM>(controlId), 0);
}
