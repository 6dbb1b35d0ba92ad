// A fixture for cases that drive the changer control over a line of their
// own: each case starts and ends with fresh changer state, no main window and
// an empty record of the window hooks.
#pragma once

#include <gtest/gtest.h>

#include "link/changer_link.h"
#include "platform/window_hooks_posix.h"
#include "tests/support/reset_state.h"

class FreshChangerTest : public ::testing::Test {
protected:
    // The line g_hCom is on during the case.
    virtual SerialLine& CaseLine() = 0;

    void SetUp() override {
        ResetChangerState();
        ClearPlatformRecord();
        g_hCom = &CaseLine();
    }
    void TearDown() override {
        g_hCom = nullptr;
        g_hWnd = nullptr;
        ResetChangerState();
        ClearPlatformRecord();
    }
};
