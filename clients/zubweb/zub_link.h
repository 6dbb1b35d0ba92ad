// zubweb's one connection to the controller's remote port: exchanges one at
// a time, each within a time budget, and reconnects with a growing pause
// after failures so a stopped controller is not hammered.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/deadline.h"
#include "clients/zubweb/web_json.h"
#include "protocol/remote_client_socket.h"

struct ZubLinkTiming {
    int connectMs = 1000;      // one connection attempt at most
    int firstBackoffMs = 250;  // pause after the first failure
    int maxBackoffMs = 2000;   // the pause doubles up to this
};

// Milliseconds on a steady clock; tests give their own.
using LinkClock = MsClock;

class ZubLink {
public:
    ZubLink(RemoteConnection& connection, std::string host, uint16_t port,
            ZubLinkTiming timing = ZubLinkTiming(), LinkClock clock = nullptr);
    ZubLink(const ZubLink&) = delete;
    ZubLink& operator=(const ZubLink&) = delete;

    // Sends the request and, when replySize > 0, receives its reply, all
    // within budgetMs (waiting for another exchange included). Connects
    // first when needed and the pause after a failure has passed. On
    // failure drops the connection and returns false with a message.
    bool Exchange(const WebCommand& request, unsigned char* reply, int replySize, int budgetMs,
                  std::string* error);

    // Sends a request without a reply on a connection of its own and closes
    // it: a play request that waits in the controller (for a scan) then
    // holds that connection only, and the controller's session ends with
    // the request.
    bool SendAndClose(const WebCommand& request, int budgetMs, std::string* error);

    const std::string& Where() const { return where_; }
    const std::string& Host() const { return host_; }
    uint16_t Port() const { return port_; }

private:
    bool ExchangeTaken(const WebCommand& request, unsigned char* reply, int replySize,
                       const Deadline& deadline, std::string* error);
    bool Take(int waitMs);
    void Give();
    bool ConnectLocked(const Deadline& deadline, std::string* error);
    void DropLocked(int64_t now);
    int64_t Now() const;

    RemoteConnection& connection_;
    const std::string host_;
    const uint16_t port_;
    const std::string where_;
    const ZubLinkTiming timing_;
    const LinkClock clock_;

    // One exchange at a time: whoever set busy_ owns what follows it.
    std::mutex mutex_;
    std::condition_variable free_;
    bool busy_ = false;
    bool connected_ = false;
    int64_t nextAttemptMs_ = 0;
    int backoffMs_;
};
