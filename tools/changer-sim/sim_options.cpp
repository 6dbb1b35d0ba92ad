// changer-sim's options, each checked as it is read.
#include "tools/changer-sim/sim_options.h"

#include "base/bounded_int.h"

namespace {

const int kLargestBaud = 1000000;
const int kLongestLoadDelayMs = 600000;

bool NumberValue(const std::string& text, const NumberBounds& bounds, int* value,
                 std::string* error) {
    int64_t number = 0;
    if (!ParseBoundedInt(text, bounds, &number, error)) {
        return false;
    }
    *value = static_cast<int>(number);
    return true;
}

}  // namespace

bool ParseSimCommandLine(const std::vector<std::string>& args, SimCommandLine* line,
                         std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--help" || option == "-h") {
            line->help = true;
            return true;
        }
        if (option.compare(0, 2, "--") != 0) {
            *error = "unexpected argument " + option;
            return false;
        }
        bool known = option == "--magazine" || option == "--link" || option == "--log" ||
                     option == "--baud" || option == "--load-delay" || option == "--speed" ||
                     option == "--control";
        if (!known) {
            *error = "unknown option " + option;
            return false;
        }
        if (i + 1 >= args.size()) {
            *error = option + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        ChangerSimOptions& options = line->options;
        if (option == "--magazine") {
            if (!ReadSimMagazineFile(value, options.magazine, *error)) {
                *error = "--magazine: " + *error;
                return false;
            }
        } else if (option == "--link") {
            options.linkPath = value;
        } else if (option == "--log") {
            options.logPath = value;
        } else if (option == "--baud") {
            if (!NumberValue(value, {"--baud", 0, kLargestBaud, "baud rate"}, &options.baud,
                             error)) {
                return false;
            }
        } else if (option == "--load-delay") {
            if (!NumberValue(value, {"--load-delay", 0, kLongestLoadDelayMs, "delay in ms"},
                             &options.loadDelayMs, error)) {
                return false;
            }
        } else if (option == "--speed") {
            int speed = 0;
            if (!NumberValue(value, {"--speed", 1, kSimLargestSpeed, "factor"}, &speed, error)) {
                return false;
            }
            options.speed = speed;
        } else {
            line->controlPath = value;
        }
    }
    return true;
}
