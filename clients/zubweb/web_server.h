// zubweb's HTTP side: the page and the JSON API over cpp-httplib.
//   GET  /             the page
//   GET  /api/status   the status view (503 while the controller is not reachable)
//   GET  /api/discs    the present slots of the magazine
//   POST /api/command  {"command": ..., "disc": N, "track": T}; during a scan
//                      409 for play, pause, stop and 202 for requests that wait
//   GET  /api/events   server-sent events: one status object per change
// Those serve the first changer. For every changer K (0-based) there are
//   GET  /api/changers                 the changers: index, name, host, port, reachable
//   GET  /api/changers/events          one event stream for all, each event with "changer"
//   GET  /api/changers/K/status, /api/changers/K/discs, /api/changers/K/events
//   POST /api/changers/K/command, /api/changers/K/scan
// as above; their events carry "changer": K. A bad K answers 404 with
// {"error": "..."}.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "clients/zubweb/change_bell.h"
#include "clients/zubweb/status_watch.h"
#include "clients/zubweb/zub_link.h"

// Budget of an exchange a request makes with the controller: with the
// request's own handling it stays under 5 s.
const int kWebExchangeMs = 4000;
// The fewest milliseconds between two events of one stream.
const int kWebEventSpacingMs = 250;
// An event stream with no change sends a comment this often.
const int kWebKeepAliveMs = 15000;
// How often an event stream without a change looks whether its client has
// gone, so its slot comes free soon after.
const int kWebStreamCheckMs = 500;
// Event streams served at once; more get 503.
const int kWebMaxEventStreams = 16;
// Server threads: every event stream keeps one, and a client that sends its
// request slowly keeps one until the read time-out; the rest serve the
// quick requests.
const int kWebThreads = kWebMaxEventStreams + 64;
// A request's header and body must each arrive within this (per read), and
// a kept-alive connection with no next request is closed after it.
const int kWebReadTimeoutSeconds = 2;
const int kWebKeepAliveSeconds = 2;

// One changer a WebServer serves. Commands go over commandLink, one
// connection each, when given (so a command that waits in the controller
// never holds up the status queries on link); otherwise over link.
struct WebChanger {
    std::string name;  // what the page and /api/changers call it
    std::string host;
    uint16_t port = 0;
    ZubLink* link = nullptr;
    StatusWatch* watch = nullptr;
    ZubLink* commandLink = nullptr;
};

class WebServer {
public:
    // One changer, named by where it is.
    WebServer(ZubLink& link, StatusWatch& watch, ZubLink* commandLink = nullptr);
    // One or more changers, the first of them on the routes of one. Every
    // watch rings bell at its changes (StatusWatch's bell); the stream of
    // all changers waits on it.
    WebServer(std::vector<WebChanger> changers, ChangeBell* bell);
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
