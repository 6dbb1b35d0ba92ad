// The answering serial line for concurrency tests.
#include "tests/support/answering_line.h"

#include "tests/support/reset_state.h"

std::string AnsweringLine::Answer(const unsigned char* bytes, int count) {
    std::string frame(reinterpret_cast<const char*>(bytes), count);
    if (frame.compare(3, 2, "16") == 0) {
        bool discEnd = ++polls_ % 3 == 0;
        return discEnd ? StatusReply("PL", false, 9, 4) : StatusReply("PT", true, 4, 1);
    }
    // Discs are in slots 4 and 9 only: a load of any other slot fails.
    bool emptySlot = frame.compare(3, 2, "01") == 0 && frame.compare(5, 3, "A04") != 0 &&
                     frame.compare(5, 3, "A09") != 0;
    return std::string("\x02") + "04" + frame.substr(3, 2) + (emptySlot ? "01" : "00") + "\x03";
}
