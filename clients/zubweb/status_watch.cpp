// zubweb's status thread and the latest view of the controller.
#include "clients/zubweb/status_watch.h"

#include <algorithm>
#include <chrono>

#include "base/changer_facts.h"
#include "base/deadline.h"

namespace {

// The controller's poll comes kPollPeriodMs after the last plus the status
// exchange on the line; ask a little after the period.
const int kWatchDueAfterMs = kPollPeriodMs + 15;

// What decides a new event: the view without the age of the last reply.
std::string ChangeKey(WebStatus status) {
    status.status.sinceAnswerMs = 0;
    return StatusJson(status);
}

}  // namespace

int64_t NextStatusQueryAt(int64_t now, int64_t answerAt) {
    int64_t regular = now + kWatchIntervalMs;
    if (answerAt < 0) {
        return regular;
    }
    int64_t due = answerAt + kWatchDueAfterMs;
    if (now < due) {
        return std::min(regular, due);
    }
    if (now < due + kWatchFastWindowMs) {
        return now + kWatchFastIntervalMs;
    }
    return regular;
}

ScanStart ScanStartAfter(ScanStart before, const RemoteStatusRecord& status) {
    if (status.scanning == 0) {
        return ScanStart();
    }
    if (before.first == 0 || before.last != status.scanLastSlot || status.scanSlot < before.first) {
        return {status.scanSlot, status.scanLastSlot};
    }
    return before;
}

StatusWatch::StatusWatch(ZubLink& link, LinkClock clock, ChangeBell* bell)
    : link_(link), clock_(clock != nullptr ? clock : SteadyClockMs), bell_(bell) {}

StatusWatch::~StatusWatch() {
    Stop();
}

void StatusWatch::Start() {
    thread_ = std::thread([this] { Run(); });
}

void StatusWatch::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    if (bell_ != nullptr) {
        bell_->Ring();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool StatusWatch::Stopping() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
}

WebStatus StatusWatch::Current(uint64_t* version) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (version != nullptr) {
        *version = version_;
    }
    return current_;
}

bool StatusWatch::WaitForChange(uint64_t seen, int limitMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(limitMs), [&] {
        return stopping_ || version_ != seen;
    }) && version_ != seen;
}

void StatusWatch::QuerySoon() {
    std::lock_guard<std::mutex> lock(mutex_);
    querySoon_ = true;
    changed_.notify_all();
}

void StatusWatch::Publish(const WebStatus& status) {
    std::string key = ChangeKey(status);
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        current_ = status;
        if (key != currentKey_) {
            currentKey_ = key;
            ++version_;
            changed_.notify_all();
            changed = true;
        }
    }
    if (changed && bell_ != nullptr) {
        bell_->Ring();
    }
}

void StatusWatch::QueryOnce() {
    WebStatus view;
    unsigned char reply[kRemoteInfoSize > kRemoteStatusSize ? kRemoteInfoSize : kRemoteStatusSize];
    std::string error;
    WebCommand query;
    query.command = REMOTE_STATUS;
    if (!link_.Exchange(query, reply, kRemoteStatusSize, kWatchExchangeMs, &error)) {
        Publish(view);  // not reachable
        return;
    }
    int64_t now = clock_();
    view.reachable = true;
    view.status = DecodeRemoteStatus(reply);

    int disc;
    int64_t catalogueAt;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (view.status.sinceAnswerMs >= 0) {
            answerAt_ = now - view.status.sinceAnswerMs;
        }
        scanStart_ = ScanStartAfter(scanStart_, view.status);
        view.scanFirstSlot = scanStart_.first;
        disc = catalogueDisc_;
        catalogueAt = catalogueAt_;
        view.artist = current_.artist;
        view.title = current_.title;
    }
    if (disc != view.status.disc || now - catalogueAt >= kWatchCatalogueMs) {
        query.command = REMOTE_INFO;
        if (!link_.Exchange(query, reply, kRemoteInfoSize, kWatchExchangeMs, &error)) {
            Publish(WebStatus());
            return;
        }
        std::string artist = DecodeRemoteText(reply + kRemoteArtistOffset);
        std::string title = DecodeRemoteText(reply + kRemoteTitleOffset);
        int infoDisc = ReadRemoteInt(reply);
        std::lock_guard<std::mutex> lock(mutex_);
        // The info reply names its own disc; a poll in between may have moved on.
        if (infoDisc == view.status.disc) {
            view.artist = artist;
            view.title = title;
            catalogueDisc_ = infoDisc;
            catalogueAt_ = now;
        } else {
            view.artist.clear();
            view.title.clear();
            catalogueDisc_ = -1;
        }
    }
    Publish(view);
}

void StatusWatch::Run() {
    for (;;) {
        QueryOnce();
        std::unique_lock<std::mutex> lock(mutex_);
        int64_t now = clock_();
        int64_t wait = std::max<int64_t>(0, NextStatusQueryAt(now, answerAt_) - now);
        changed_.wait_for(lock, std::chrono::milliseconds(wait),
                          [this] { return stopping_ || querySoon_; });
        if (stopping_) {
            return;
        }
        querySoon_ = false;
    }
}
