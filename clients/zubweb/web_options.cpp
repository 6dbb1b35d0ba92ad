// zubweb's options.
#include "clients/zubweb/web_options.h"

#include <cctype>

const char* WebUsageText() {
    return "usage: zubweb [--remote HOST:PORT] [--listen ADDR:PORT]\n"
           "  --remote HOST:PORT  the controller's remote port (default 127.0.0.1:4239)\n"
           "  --listen ADDR:PORT  where the page is served (default 127.0.0.1:8080)\n"
           "Neither port has any authentication: listen beyond 127.0.0.1 only on a\n"
           "network you trust.\n";
}

bool ParseHostPort(const std::string& text, bool zeroPort, std::string* host, uint16_t* port) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() ||
        text.size() - colon - 1 > 5) {
        return false;
    }
    long number = 0;
    for (size_t at = colon + 1; at < text.size(); ++at) {
        if (!std::isdigit(static_cast<unsigned char>(text[at]))) {
            return false;
        }
        number = number * 10 + (text[at] - '0');
    }
    if (number > 65535 || (number == 0 && !zeroPort)) {
        return false;
    }
    *host = text.substr(0, colon);
    *port = static_cast<uint16_t>(number);
    return true;
}

bool ParseWebOptions(const std::vector<std::string>& args, WebOptions* options,
                     std::string* error) {
    for (size_t at = 0; at < args.size(); ++at) {
        const std::string& option = args[at];
        if (option != "--remote" && option != "--listen") {
            *error = "unknown option " + option;
            return false;
        }
        if (at + 1 >= args.size()) {
            *error = option + " needs HOST:PORT";
            return false;
        }
        const std::string& value = args[++at];
        bool remote = option == "--remote";
        bool good = remote
                        ? ParseHostPort(value, false, &options->remoteHost, &options->remotePort)
                        : ParseHostPort(value, true, &options->listenAddress, &options->listenPort);
        if (!good) {
            *error = "bad " + option + " value '" + value + "': HOST:PORT expected";
            return false;
        }
    }
    return true;
}
