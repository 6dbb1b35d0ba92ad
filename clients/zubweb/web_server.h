// zubweb's HTTP side: the page and the JSON API over cpp-httplib.
//   GET  /             the page
//   GET  /api/status   the status view (503 while the controller is not reachable)
//   GET  /api/discs    the present slots of the magazine
//   POST /api/command  {"command": ..., "disc": N, "track": T}
//   GET  /api/events   server-sent events: one status object per change
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "clients/zubweb/status_watch.h"
#include "clients/zubweb/zub_link.h"

// Budget of an exchange a request makes with the controller: with the
// request's own handling it stays under 5 s.
const int kWebExchangeMs = 4000;
// The fewest milliseconds between two events of one stream.
const int kWebEventSpacingMs = 250;
// An event stream with no change sends a comment this often, so a gone
// client is noticed.
const int kWebKeepAliveMs = 15000;
// Event streams served at once; more get 503.
const int kWebMaxEventStreams = 16;
// Server threads: every event stream keeps one.
const int kWebThreads = kWebMaxEventStreams + 8;

class WebServer {
public:
    WebServer(ZubLink& link, StatusWatch& watch);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Binds the listening socket; port 0 picks a free one. Returns the port,
    // or 0 on failure.
    int Bind(const std::string& address, uint16_t port);

    // Serves until Stop; false when it could not.
    bool Run();

    // Ends Run and every event stream.
    void Stop();

private:
    struct Routes;
    std::unique_ptr<Routes> routes_;
};
