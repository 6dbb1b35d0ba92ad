// zubweb's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/remote_protocol.h"

const uint16_t kWebDefaultPort = 8080;

// How many controllers one zubweb serves at most (--remote given that often).
const int kWebMaxRemotes = 8;

// Longest name a --remote may give its controller.
const size_t kWebRemoteNameLimit = 40;

// One controller: its remote port and, when --remote gave one, its name.
struct WebRemote {
    std::string name;  // empty: none given
    std::string host;
    uint16_t port = 0;
};

struct WebOptions {
    std::string remoteHost = "127.0.0.1";  // the first controller of remotes
    uint16_t remotePort = kRemotePort;
    std::vector<WebRemote> remotes;  // every --remote in order, or only the default
    std::string listenAddress = "127.0.0.1";
    uint16_t listenPort = kWebDefaultPort;
};

const char* WebUsageText();

// What the page and GET /api/changers call a controller: its --remote name,
// else "HOST:PORT".
std::string WebRemoteName(const WebRemote& remote);

// "HOST:PORT": a non-empty host and a port 1..65535 (0 too when zeroPort,
// for "any free port").
bool ParseHostPort(const std::string& text, bool zeroPort, std::string* host, uint16_t* port);

// "[NAME=]HOST:PORT": HOST:PORT as above, with an optional name of 1 to
// kWebRemoteNameLimit printable characters before the first '='.
bool ParseNamedHostPort(const std::string& text, WebRemote* remote);

// The arguments after the program name: --remote [NAME=]HOST:PORT up to
// kWebMaxRemotes times, each controller and each name once; --listen
// ADDR:PORT once or not at all. remotes then holds every controller, the
// default 127.0.0.1:4239 when no --remote is given, and remoteHost and
// remotePort the first. On error false with a one-line message.
bool ParseWebOptions(const std::vector<std::string>& args, WebOptions* options, std::string* error);
