// Win32 implementations of the hooks the portable core calls.
#include "platform/window_hooks_win.h"

#include <system_error>
#include <thread>

#include "platform/window_hooks.h"

std::atomic<WindowHandle> g_hWnd{nullptr};

namespace {

// True from a posted box's PostErrorBox until it is closed. Set by any
// thread that posts, cleared by the thread that showed the box.
std::atomic<bool> postedBoxOpen{false};

void ShowPostedBoxWithoutOwner(const char* text, const char* caption) {
    ShowErrorBox(nullptr, text, caption);
    PostedErrorBoxClosed();
}

}  // namespace

void PostedErrorBoxClosed() {
    postedBoxOpen = false;
}

void ShowErrorBox(WindowHandle owner, const char* text, const char* caption) {
    MessageBoxA(static_cast<HWND>(owner), text, caption, MB_OK);
}

void PostErrorBox(const char* text, const char* caption) {
    if (postedBoxOpen.exchange(true)) {
        return;  // one is open already
    }
    HWND window = static_cast<HWND>(g_hWnd.load());
    if (window != nullptr && PostMessageA(window, kErrorBoxMessage, reinterpret_cast<WPARAM>(text),
                                          reinterpret_cast<LPARAM>(caption))) {
        return;
    }
    // No window yet (or no longer): a box of its own that nobody waits for.
    try {
        std::thread(ShowPostedBoxWithoutOwner, text, caption).detach();
    } catch (const std::system_error&) {
        // Without a thread the box is dropped; the caller must not wait.
        PostedErrorBoxClosed();
    }
}

void RequestStatusRepaint(WindowHandle window) {
    RECT panel = {g_rcStatus.left, g_rcStatus.top, g_rcStatus.right, g_rcStatus.bottom};
    InvalidateRect(static_cast<HWND>(window), &panel, TRUE);
}

void RequestSlotRowRefresh(WindowHandle window, int slotNumber) {
    if (window != nullptr) {
        PostMessageA(static_cast<HWND>(window), kSlotRowMessage, static_cast<WPARAM>(slotNumber),
                     0);
    }
}

void PostButtonCommand(WindowHandle window, int commandWord) {
    if (window != nullptr) {
        PostMessageA(static_cast<HWND>(window), WM_COMMAND, static_cast<WPARAM>(commandWord), 0);
    }
}

void SendButtonCommand(WindowHandle window, int controlId) {
    if (window == nullptr) {
        return;
    }
    SendMessageA(static_cast<HWND>(window), WM_COMMAND, static_cast<WPARAM>(controlId), 0);
}
