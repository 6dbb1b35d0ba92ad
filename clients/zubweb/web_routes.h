// The routes of a zubweb serving several changers, told apart from their
// path alone: GET /api/changers lists them, GET /api/changers/events is one
// event stream for all, and /api/changers/K/... (K the changer's 0-based
// index) are the first changer's routes for changer K. Pure: no HTTP.
#pragma once

#include <string>

enum class ChangerRoute {
    kNone,       // not found or not allowed: status and error say which
    kList,       // GET  /api/changers
    kAllEvents,  // GET  /api/changers/events
    kStatus,     // GET  /api/changers/K/status
    kDiscs,      // GET  /api/changers/K/discs
    kCommand,    // POST /api/changers/K/command
    kScan,       // POST /api/changers/K/scan
    kEvents,     // GET  /api/changers/K/events
    kNames,      // /api/changers/K/ then a path of web_names.h, in rest
};

struct ChangerRouteMatch {
    ChangerRoute route = ChangerRoute::kNone;
    int index = -1;    // the changer, for the routes of one
    int status = 404;  // with kNone: 404 or 405
    std::string error;
    std::string rest;  // with kNames: the path after /api/changers/K/
};

// The prefix every path handed to MatchChangerRoute starts with.
extern const char kChangerRoutePrefix[];

// Matches method ("GET" or "POST") and path against the routes above for a
// zubweb serving changerCount changers. An index is written in decimal
// without leading zeros and must be below changerCount.
ChangerRouteMatch MatchChangerRoute(const std::string& method, const std::string& path,
                                    int changerCount);
