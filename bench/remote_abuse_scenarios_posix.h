// Abuse scenarios against a remote server at host:port: each is a bounded
// loop that ends by itself and says whether the server held up.
#pragma once

#include <cstdint>
#include <string>

struct AbuseTarget {
    std::string host = "127.0.0.1";
    uint16_t port = 0;
    unsigned seed = 4239;
};

struct AbuseOutcome {
    bool ok = true;
    long load = 0;       // connections, cycles or requests, as the scenario counts them
    std::string detail;  // figures, or what went wrong
};

// 64 clients connected one at a time and all served; a 65th is not served
// while they are connected and is served once one of them leaves.
AbuseOutcome RunManyClients(const AbuseTarget& target, int rounds);

// 64 clients served once and then idle, and a 65th that waits: once the
// first has had no request for the server's idle limit (30 s) the server
// closes it and serves the 65th; the other 63 stay served.
AbuseOutcome RunIdleClients(const AbuseTarget& target);

// Connect, then one of: a round trip, a request, nothing, or two bytes of a
// request; then a reset. A long-lived client checks the server in between.
AbuseOutcome RunResetCycles(const AbuseTarget& target, int cycles);

// Connections that send chunks of random bytes (half of them starting with a
// query command), read what comes back, and half-close; the server must
// close each in turn.
AbuseOutcome RunRandomBytes(const AbuseTarget& target, int connections, int chunks);

// Position requests split in two sends at a random point: each gets exactly
// one reply.
AbuseOutcome RunSplitRequests(const AbuseTarget& target, int requests);

// Clients that send info requests and never read until the server stops
// reading from them; meanwhile fresh clients must still be served.
AbuseOutcome RunNonReaders(const AbuseTarget& target, int readers, int roundTrips);

// One fresh connection with a position round trip: the server still answers.
bool ServerAnswers(const AbuseTarget& target);
