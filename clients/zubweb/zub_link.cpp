// zubweb's connection to the controller.
#include "clients/zubweb/zub_link.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

#include "base/deadline.h"
#include "protocol/remote_commands.h"
#include "protocol/remote_names.h"
#include "protocol/remote_reply_receive.h"

ZubLink::ZubLink(RemoteConnection& connection, std::string host, uint16_t port,
                 ZubLinkTiming timing, LinkClock clock)
    : connection_(connection),
      host_(std::move(host)),
      port_(port),
      where_(host_ + ":" + std::to_string(port)),
      timing_(timing),
      clock_(clock != nullptr ? clock : SteadyClockMs),
      backoffMs_(timing.firstBackoffMs) {}

int64_t ZubLink::Now() const {
    return clock_();
}

// Waits at most waitMs for the link to be free and takes it.
bool ZubLink::Take(int waitMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!free_.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return !busy_; })) {
        return false;
    }
    busy_ = true;
    return true;
}

void ZubLink::Give() {
    std::lock_guard<std::mutex> lock(mutex_);
    busy_ = false;
    free_.notify_one();
}

void ZubLink::DropLocked(int64_t now) {
    connection_.Close();
    connected_ = false;
    nextAttemptMs_ = now + backoffMs_;
    backoffMs_ = std::min(backoffMs_ * 2, timing_.maxBackoffMs);
}

bool ZubLink::ConnectLocked(const Deadline& deadline, std::string* error) {
    if (Now() < nextAttemptMs_) {
        *error = "controller not reachable at " + where_;
        return false;
    }
    int limit = std::min(timing_.connectMs, deadline.LeftMs());
    std::string reason;
    if (limit <= 0 || !connection_.Open(host_, port_, limit, &reason)) {
        DropLocked(Now());
        *error = "controller not reachable at " + where_ + (reason.empty() ? "" : ": " + reason);
        return false;
    }
    connected_ = true;
    return true;
}

namespace {

// Gives the link back when the exchange ends, however it ends.
struct Giver {
    std::function<void()> give;
    ~Giver() { give(); }
};

}  // namespace

bool ZubLink::Exchange(const WebCommand& request, unsigned char* reply, int replySize, int budgetMs,
                       std::string* error) {
    const Deadline deadline(budgetMs, clock_);
    if (!Take(budgetMs)) {
        *error = "controller busy at " + where_;
        return false;
    }
    Giver giver{[this] { Give(); }};
    return ExchangeTaken(request, reply, replySize, deadline, error);
}

bool ZubLink::SendAndClose(const WebCommand& request, int budgetMs, std::string* error) {
    const Deadline deadline(budgetMs, clock_);
    if (!Take(budgetMs)) {
        *error = "controller busy at " + where_;
        return false;
    }
    Giver giver{[this] { Give(); }};
    bool sent = ExchangeTaken(request, nullptr, 0, deadline, error);
    if (connected_) {
        connection_.Close();
        connected_ = false;
    }
    return sent;
}

bool ZubLink::ExchangeTaken(const WebCommand& request, unsigned char* reply, int replySize,
                            const Deadline& deadline, std::string* error) {
    if (!connected_ && !ConnectLocked(deadline, error)) {
        return false;
    }
    unsigned char bytes[kRemoteRequestSize];
    int size = kRemoteFullRequestSize;
    if (IsRemoteTextRequest(request.command)) {
        EncodeRemoteTextRequest(request.command, request.disc, request.track, request.text, bytes);
        size = kRemoteRequestSize;
    } else {
        EncodeRemoteRequest(request.command, request.disc, request.track, bytes);
    }
    if (!connection_.SendAll(bytes, size)) {
        DropLocked(Now());
        *error = "connection to " + where_ + " lost";
        return false;
    }
    if (replySize > 0) {
        int limit = std::max(1, deadline.LeftMs());
        // A record an older program sends shorter is taken with its rest zeroed.
        bool whole = replySize == RemoteReplySize(request.command)
                         ? ReceiveRemoteReply(connection_, request.command, reply, limit).end ==
                               ReceiveEnd::Complete
                         : connection_.ReceiveExactly(reply, replySize, limit);
        if (!whole) {
            // A late reply would be taken for the next one's: start afresh.
            DropLocked(Now());
            *error = "no reply from " + where_;
            return false;
        }
    }
    backoffMs_ = timing_.firstBackoffMs;
    return true;
}
