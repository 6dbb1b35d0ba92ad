// The poll's record of whether, and when, the changer last answered whole.
#include "changer/status_answer.h"

#include <cstdint>

StatusClock g_statusClock = SteadyClockMs;
int g_bStatusAnswered = 0;
int64_t g_nLastAnswerMs = -1;

void NoteStatusAnswer(bool whole) {
    g_bStatusAnswered = whole ? 1 : 0;
    if (whole) {
        g_nLastAnswerMs = g_statusClock();
    }
}

int32_t MsSinceStatusAnswer() {
    if (g_nLastAnswerMs < 0) {
        return -1;
    }
    int64_t since = g_statusClock() - g_nLastAnswerMs;
    if (since < 0) {
        return 0;
    }
    return since > INT32_MAX ? INT32_MAX : static_cast<int32_t>(since);
}
