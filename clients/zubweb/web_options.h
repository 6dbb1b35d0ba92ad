// zubweb's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/remote_protocol.h"

const uint16_t kWebDefaultPort = 8080;

struct WebOptions {
    std::string remoteHost = "127.0.0.1";
    uint16_t remotePort = kRemotePort;
    std::string listenAddress = "127.0.0.1";
    uint16_t listenPort = kWebDefaultPort;
};

const char* WebUsageText();

// "HOST:PORT": a non-empty host and a port 1..65535 (0 too when zeroPort,
// for "any free port").
bool ParseHostPort(const std::string& text, bool zeroPort, std::string* host, uint16_t* port);

// The arguments after the program name: --remote HOST:PORT, --listen
// ADDR:PORT. On error false with a one-line message.
bool ParseWebOptions(const std::vector<std::string>& args, WebOptions* options, std::string* error);
