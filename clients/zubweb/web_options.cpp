// zubweb's options.
#include "clients/zubweb/web_options.h"

#include <cctype>

const char* WebUsageText() {
    static const std::string text =
        "usage: zubweb [--remote [NAME=]HOST:PORT]... [--listen ADDR:PORT]\n"
        "  --remote [NAME=]HOST:PORT  a controller's remote port (default 127.0.0.1:4239);\n"
        "                             up to " +
        std::to_string(kWebMaxRemotes) +
        " times for as many changers, one tab each\n"
        "                             on the page, named NAME or else HOST:PORT\n"
        "  --listen ADDR:PORT         where the page is served (default 127.0.0.1:8080)\n"
        "Neither port has any authentication: listen beyond 127.0.0.1 only on a\n"
        "network you trust.\n";
    return text.c_str();
}

std::string WebRemoteName(const WebRemote& remote) {
    return remote.name.empty() ? remote.host + ":" + std::to_string(remote.port) : remote.name;
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

bool ParseNamedHostPort(const std::string& text, WebRemote* remote) {
    size_t equals = text.find('=');
    std::string name;
    if (equals != std::string::npos) {
        name = text.substr(0, equals);
        if (name.empty() || name.size() > kWebRemoteNameLimit) {
            return false;
        }
        for (char c : name) {
            unsigned char byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F) {
                return false;
            }
        }
    }
    WebRemote parsed;
    size_t hostPortAt = equals == std::string::npos ? 0 : equals + 1;
    if (!ParseHostPort(text.substr(hostPortAt), false, &parsed.host, &parsed.port)) {
        return false;
    }
    parsed.name = name;
    *remote = parsed;
    return true;
}

namespace {

// A second --remote for a controller or a name already given.
bool RepeatsARemote(const std::vector<WebRemote>& remotes, const WebRemote& remote,
                    std::string* error) {
    for (const WebRemote& earlier : remotes) {
        if (earlier.host == remote.host && earlier.port == remote.port) {
            *error = "--remote " + remote.host + ":" + std::to_string(remote.port) + " given twice";
            return true;
        }
        if (!remote.name.empty() && earlier.name == remote.name) {
            *error = "--remote name '" + remote.name + "' given twice";
            return true;
        }
    }
    return false;
}

}  // namespace

bool ParseWebOptions(const std::vector<std::string>& args, WebOptions* options,
                     std::string* error) {
    std::vector<WebRemote> remotes;
    for (size_t at = 0; at < args.size(); ++at) {
        const std::string& option = args[at];
        if (option != "--remote" && option != "--listen") {
            *error = "unknown option " + option;
            return false;
        }
        const bool remote = option == "--remote";
        const char* form = remote ? "[NAME=]HOST:PORT" : "HOST:PORT";
        if (at + 1 >= args.size()) {
            *error = option + " needs " + form;
            return false;
        }
        const std::string& value = args[++at];
        if (!remote) {
            if (!ParseHostPort(value, true, &options->listenAddress, &options->listenPort)) {
                *error = "bad --listen value '" + value + "': HOST:PORT expected";
                return false;
            }
            continue;
        }
        WebRemote parsed;
        if (!ParseNamedHostPort(value, &parsed)) {
            *error = "bad --remote value '" + value + "': [NAME=]HOST:PORT expected";
            return false;
        }
        if (remotes.size() == static_cast<size_t>(kWebMaxRemotes)) {
            *error = "--remote given more than " + std::to_string(kWebMaxRemotes) + " times";
            return false;
        }
        if (RepeatsARemote(remotes, parsed, error)) {
            return false;
        }
        remotes.push_back(parsed);
    }
    if (remotes.empty()) {
        WebRemote fallback;
        fallback.host = options->remoteHost;
        fallback.port = options->remotePort;
        remotes.push_back(fallback);
    }
    options->remotes = remotes;
    options->remoteHost = remotes.front().host;
    options->remotePort = remotes.front().port;
    return true;
}
