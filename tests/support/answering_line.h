// A serial line that answers every frame at once, as a busy changer would:
// status requests with "PT" for slot 4, every third one with "PL" past the
// end of slot 9's three tracks; a load of a slot other than 4 and 9 with
// result 01 (empty slot); every other command with result 00.
#pragma once

#include <string>

#include "tests/support/reply_queue_line.h"

class AnsweringLine : public ReplyQueueLine {
protected:
    std::string Answer(const unsigned char* bytes, int count) override;

private:
    int polls_ = 0;
};
