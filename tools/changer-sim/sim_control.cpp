// Parses and applies the simulated changer's control commands.
#include "tools/changer-sim/sim_control.h"

#include <sstream>

#include "tools/changer-sim/sim_options.h"
#include "tools/common/bounded_int.h"

namespace {

const int kLongestLateMs = 600000;

// The one number argument of a command, and nothing after it; else the
// message says what is wrong.
bool OneNumber(std::istringstream& words, const NumberBounds& bounds, int64_t* value,
               std::string* message) {
    std::string text;
    std::string extra;
    if (!(words >> text)) {
        *message = std::string(bounds.name) + ": no " + bounds.what + " given";
        return false;
    }
    if (!ParseBoundedInt(text, bounds, value, message)) {
        return false;
    }
    if (words >> extra) {
        *message = std::string(bounds.name) + ": unexpected " + extra;
        return false;
    }
    return true;
}

}  // namespace

SimControlResult ApplySimControl(ChangerSim& sim, const std::string& line, std::string& message) {
    std::istringstream words(line);
    std::string verb;
    if (!(words >> verb)) {
        message.clear();
        return SimControlResult::Done;
    }
    std::string first;
    std::string extra;
    if (verb == "quit") {
        message = "quit";
        return SimControlResult::Quit;
    }
    if (verb == "fault") {
        words >> first;
        static const struct {
            const char* name;
            SimFault fault;
        } kFaults[] = {{"none", SimFault::None},
                       {"silent", SimFault::Silent},
                       {"garbage", SimFault::Garbage},
                       {"overlong", SimFault::Overlong},
                       {"loader-error", SimFault::LoaderError}};
        if (first == "late") {
            int64_t ms = 0;
            if (!OneNumber(words, {"fault late", 0, kLongestLateMs, "delay in ms"}, &ms,
                           &message)) {
                return SimControlResult::Error;
            }
            sim.SetFault(SimFault::Late, static_cast<int>(ms));
            message = "fault late " + std::to_string(ms);
            return SimControlResult::Done;
        }
        for (const auto& known : kFaults) {
            if (first == known.name && !(words >> extra)) {
                sim.SetFault(known.fault);
                message = "fault " + first;
                return SimControlResult::Done;
            }
        }
        message = "fault none|silent|garbage|overlong|loader-error|late MS";
        return SimControlResult::Error;
    }
    if (verb == "remove") {
        int64_t slot = 0;
        if (!OneNumber(words, {"remove", 1, kSimSlotCount, "slot"}, &slot, &message)) {
            return SimControlResult::Error;
        }
        sim.RemoveDisc(static_cast<int>(slot));
        message = "removed " + std::to_string(slot);
        return SimControlResult::Done;
    }
    if (verb == "insert") {
        std::string rest;
        std::getline(words, rest);
        int slot = 0;
        SimDisc disc;
        std::string error;
        if (!ParseSimDiscLine(rest, slot, disc, error)) {
            message = "insert SLOT ID [first=N] M:SS ...: " + error;
            return SimControlResult::Error;
        }
        sim.InsertDisc(slot, disc);
        message = "inserted " + std::to_string(slot);
        return SimControlResult::Done;
    }
    if (verb == "speed") {
        int64_t speed = 0;
        if (!OneNumber(words, {"speed", 1, kSimLargestSpeed, "factor"}, &speed, &message)) {
            return SimControlResult::Error;
        }
        sim.SetSpeed(static_cast<double>(speed));
        message = "speed " + std::to_string(speed);
        return SimControlResult::Done;
    }
    message = "unknown command: " + verb;
    return SimControlResult::Error;
}
