// Parses and applies the simulated changer's control commands.
#include "tools/changer-sim/sim_control.h"

#include <functional>
#include <sstream>

#include "base/bounded_int.h"
#include "tools/changer-sim/sim_options.h"

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

// A command of one number: apply takes it once it is within bounds, and the
// message is done followed by the number.
SimControlResult NumberCommand(std::istringstream& words, const NumberBounds& bounds,
                               const char* done, const std::function<void(int64_t)>& apply,
                               std::string& message) {
    int64_t value = 0;
    if (!OneNumber(words, bounds, &value, &message)) {
        return SimControlResult::Error;
    }
    apply(value);
    message = std::string(done) + " " + std::to_string(value);
    return SimControlResult::Done;
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
            return NumberCommand(
                words, {"fault late", 0, kLongestLateMs, "delay in ms"}, "fault late",
                [&sim](int64_t ms) { sim.SetFault(SimFault::Late, static_cast<int>(ms)); },
                message);
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
        return NumberCommand(
            words, {"remove", 1, kSimSlotCount, "slot"}, "removed",
            [&sim](int64_t slot) { sim.RemoveDisc(static_cast<int>(slot)); }, message);
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
        return NumberCommand(
            words, {"speed", 1, kSimLargestSpeed, "factor"}, "speed",
            [&sim](int64_t speed) { sim.SetSpeed(static_cast<double>(speed)); }, message);
    }
    message = "unknown command: " + verb;
    return SimControlResult::Error;
}
