// Checks on the error boxes the POSIX window hooks record.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "platform/window_hooks_posix.h"

// Exactly one box so far: "Write to g_hCom Failed", posted to owner.
inline void ExpectOneWriteFailedBox(WindowHandle owner) {
    std::vector<RecordedErrorBox> boxes = RecordedErrorBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Write to g_hCom Failed");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].owner, owner);
    EXPECT_TRUE(boxes[0].posted);
}
