// What the native platform hooks have recorded, for tests and benches.
#pragma once

#include <string>
#include <vector>

#include "platform/window_hooks.h"

struct RecordedErrorBox {
    WindowHandle owner;  // for a posted box: the main window when posted
    std::string text;
    std::string caption;
    bool posted;  // PostErrorBox (the caller did not wait), not ShowErrorBox
};

std::vector<RecordedErrorBox> RecordedErrorBoxes();
int RecordedRepaintCount();
std::vector<int> RecordedButtonCommands();
std::vector<int> RecordedSlotRowRefreshes();

// Runs each SendButtonCommand through this handler (on the calling thread);
// without one the commands are only recorded.
using ButtonCommandHandler = void (*)(int controlId);
void SetButtonCommandHandler(ButtonCommandHandler handler);

// Presses OK on the open posted box: PostErrorBox records a box again.
void CloseRecordedErrorBox();

// Forgets every recorded call and closes the open posted box.
void ClearPlatformRecord();
