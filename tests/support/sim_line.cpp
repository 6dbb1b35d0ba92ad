// In-process simulated changer behind a serial line, for tests.
#include "tests/support/sim_line.h"

std::string SimLine::Answer(const unsigned char* bytes, int count) {
    std::string answers;
    for (int k = 0; k < count; ++k) {
        SimCommandFrame frame;
        if (parser_.Feed(bytes[k], frame) && !frame.bad) {
            SimReply reply = changer_.Execute(frame.command, frame.argument);
            answers += BuildSimReply(frame.command, reply.result, reply.payload);
        }
    }
    return answers;
}
