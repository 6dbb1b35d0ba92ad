// Parses and applies the simulated changer's control commands.
#include "tools/changer-sim/sim_control.h"

#include <cstdlib>
#include <sstream>

namespace {

// A whole number in [low, high] and nothing else.
bool ParseInt(const std::string& text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == 0 && value >= low && value <= high;
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
            std::string ms;
            long value = 0;
            if (!(words >> ms) || !ParseInt(ms, 0, 600000, value) || (words >> extra)) {
                message = "fault late needs a delay in ms (0..600000)";
                return SimControlResult::Error;
            }
            sim.SetFault(SimFault::Late, static_cast<int>(value));
            message = "fault late " + ms;
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
        long slot = 0;
        if (!(words >> first) || !ParseInt(first, 1, 100, slot) || (words >> extra)) {
            message = "remove SLOT (1..100)";
            return SimControlResult::Error;
        }
        sim.RemoveDisc(static_cast<int>(slot));
        message = "removed " + first;
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
        char* end = nullptr;
        double speed = 0;
        if (words >> first) {
            speed = std::strtod(first.c_str(), &end);
        }
        if (end == nullptr || *end != 0 || !(speed > 0 && speed <= 100000) || (words >> extra)) {
            message = "speed X (above 0)";
            return SimControlResult::Error;
        }
        sim.SetSpeed(speed);
        message = "speed " + first;
        return SimControlResult::Done;
    }
    message = "unknown command: " + verb;
    return SimControlResult::Error;
}
