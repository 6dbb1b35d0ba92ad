// Native stand-ins for the window-system hooks: they record every call.
#include "platform/window_hooks_posix.h"

#include <mutex>

std::atomic<WindowHandle> g_hWnd{nullptr};

namespace {

std::mutex recordMutex;
std::vector<RecordedErrorBox> errorBoxes;
std::vector<int> buttonCommands;
std::vector<int> slotRowRefreshes;
int repaintCount = 0;
ButtonCommandHandler buttonHandler = nullptr;
bool postedBoxOpen = false;  // a recorded posted box nobody has closed yet

}  // namespace

void ShowErrorBox(WindowHandle owner, const char* text, const char* caption) {
    std::lock_guard<std::mutex> lock(recordMutex);
    errorBoxes.push_back({owner, text ? text : "", caption ? caption : "", false});
}

void PostErrorBox(const char* text, const char* caption) {
    std::lock_guard<std::mutex> lock(recordMutex);
    if (postedBoxOpen) {
        return;
    }
    postedBoxOpen = true;
    errorBoxes.push_back({g_hWnd.load(), text, caption, true});
}

void RequestStatusRepaint(WindowHandle) {
    std::lock_guard<std::mutex> lock(recordMutex);
    ++repaintCount;
}

void RequestSlotRowRefresh(WindowHandle, int slotNumber) {
    std::lock_guard<std::mutex> lock(recordMutex);
    slotRowRefreshes.push_back(slotNumber);
}

std::vector<int> RecordedSlotRowRefreshes() {
    std::lock_guard<std::mutex> lock(recordMutex);
    return slotRowRefreshes;
}

void SendButtonCommand(WindowHandle window, int controlId) {
    ButtonCommandHandler handler;
    {
        std::lock_guard<std::mutex> lock(recordMutex);
        if (window == nullptr) {
            return;
        }
        buttonCommands.push_back(controlId);
        handler = buttonHandler;
    }
    if (handler) {
        handler(controlId);
    }
}

// Recorded and run as a sent command is: the test's handler stands in for
// the window thread.
void PostButtonCommand(WindowHandle window, int commandWord) {
    SendButtonCommand(window, commandWord);
}

std::vector<RecordedErrorBox> RecordedErrorBoxes() {
    std::lock_guard<std::mutex> lock(recordMutex);
    return errorBoxes;
}

int RecordedRepaintCount() {
    std::lock_guard<std::mutex> lock(recordMutex);
    return repaintCount;
}

std::vector<int> RecordedButtonCommands() {
    std::lock_guard<std::mutex> lock(recordMutex);
    return buttonCommands;
}

void SetButtonCommandHandler(ButtonCommandHandler handler) {
    std::lock_guard<std::mutex> lock(recordMutex);
    buttonHandler = handler;
}

void CloseRecordedErrorBox() {
    std::lock_guard<std::mutex> lock(recordMutex);
    postedBoxOpen = false;
}

void ClearPlatformRecord() {
    std::lock_guard<std::mutex> lock(recordMutex);
    postedBoxOpen = false;
    errorBoxes.clear();
    buttonCommands.clear();
    slotRowRefreshes.clear();
    repaintCount = 0;
}
