// zubcd.exe's options, each checked as it is read.
#include "app/program_options.h"

#include <cctype>

#include "base/bounded_int.h"

ProgramOptions g_options;

namespace {

// What the box shows of a bad argument at most.
const size_t kShownArgumentLength = 40;

std::string Shown(const std::string& text) {
    std::string shown;
    for (size_t i = 0; i < text.size() && i < kShownArgumentLength; ++i) {
        unsigned char byte = static_cast<unsigned char>(text[i]);
        shown += (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '?';
    }
    return text.size() > kShownArgumentLength ? shown + "..." : shown;
}

std::string UpperCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

}  // namespace

CommandLineAction ParseProgramOptions(const std::vector<std::string>& args, ProgramOptions* options,
                                      std::string* error) {
    std::vector<std::string> seen;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--help") {
            return CommandLineAction::Help;
        }
        if (option.compare(0, 2, "--") != 0) {
            *error = "unexpected argument \"" + Shown(option) + "\"";
            return CommandLineAction::Bad;
        }
        bool known = option == "--port" || option == "--changer" || option == "--remote-port" ||
                     option == "--library";
        if (!known) {
            *error = "unknown option " + Shown(option);
            return CommandLineAction::Bad;
        }
        for (const std::string& earlier : seen) {
            if (earlier == option) {
                *error = option + " given twice";
                return CommandLineAction::Bad;
            }
        }
        seen.push_back(option);
        if (i + 1 >= args.size()) {
            *error = option + " needs a value";
            return CommandLineAction::Bad;
        }
        const std::string& value = args[++i];
        int64_t number = 0;
        if (option == "--port") {
            if (ComPortNumber(value) == 0) {
                *error = "--port: \"" + Shown(value) + "\" is no serial port; COM1 to COM" +
                         std::to_string(kHighestComPort) + " expected";
                return CommandLineAction::Bad;
            }
            options->portName = UpperCase(value);
        } else if (option == "--changer") {
            if (!ParseBoundedInt(value, {"--changer", 0, kChangerNumberLimit, "changer number"},
                                 &number, error)) {
                return CommandLineAction::Bad;
            }
            options->changer = static_cast<int>(number);
        } else if (option == "--remote-port") {
            if (!ParseBoundedInt(value, {"--remote-port", 1, 65535, "TCP port"}, &number, error)) {
                return CommandLineAction::Bad;
            }
            options->remotePort = static_cast<uint16_t>(number);
        } else {
            if (value.empty()) {
                *error = "--library: no file name given";
                return CommandLineAction::Bad;
            }
            options->libraryPath = value;
        }
    }
    return CommandLineAction::Run;
}

std::string ProgramUsageText() {
    return std::string(
               "Usage: zubcd.exe [--port COMn] [--changer N] [--remote-port P] "
               "[--library FILE]\n\n") +
           "--port COMn: the changer's serial port, COM1 to COM" + std::to_string(kHighestComPort) +
           " (default " + kChangerPortName + ")\n" +
           "--changer N: the changer's number in the title, 0 to " +
           std::to_string(kChangerNumberLimit) + " (default " + std::to_string(kDefaultChanger) +
           ")\n" + "--remote-port P: the TCP port of the remote control, 1 to 65535 (default " +
           std::to_string(kRemotePort) + ")\n" + "--library FILE: the library file (default " +
           kLibraryFileName + " in the working folder)\n" + "--help: this text\n\n" +
           "One copy of the program per changer: give each its own port and TCP port.";
}

std::string BadCommandLineText(const std::string& error) {
    return error + "\n\n" + ProgramUsageText();
}
