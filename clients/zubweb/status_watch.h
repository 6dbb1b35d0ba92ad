// zubweb's view of the controller: a thread asks for the status ('6'), and
// for the catalogue line ('5') when the disc changes, and keeps the latest
// answer for the status route and the event stream. It asks right after
// the controller's own poll is due, so a change reaches the page soon after
// the changer reported it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "clients/zubweb/change_bell.h"
#include "clients/zubweb/web_json.h"
#include "clients/zubweb/zub_link.h"

// Regular pause between two status queries.
const int kWatchIntervalMs = 250;
// Pause between queries while the controller's poll is due and not yet seen.
const int kWatchFastIntervalMs = 20;
// How long after it is due the controller's poll is waited for closely.
const int kWatchFastWindowMs = 400;
// Budget of one status or catalogue exchange.
const int kWatchExchangeMs = 2000;
// The catalogue line is read again this often even when the disc stays.
const int kWatchCatalogueMs = 5000;

// When to ask next, given now and when the controller's last whole status
// reply came (-1: unknown). Every kWatchIntervalMs; closely from just after
// the controller's next poll is due until it is seen or the window passes.
int64_t NextStatusQueryAt(int64_t now, int64_t answerAt);

// The first slot of the scan a status shows, which the status record does
// not carry: first and last are what the previous status left (0, 0 for
// none). A scan that starts, ends at another slot or is behind first starts
// anew at its current slot; 0 when no scan runs.
struct ScanStart {
    int first = 0;
    int last = 0;
};
ScanStart ScanStartAfter(ScanStart before, const RemoteStatusRecord& status);

class StatusWatch {
public:
    // bell, when given, rings at every new version and at Stop.
    StatusWatch(ZubLink& link, LinkClock clock = nullptr, ChangeBell* bell = nullptr);
    ~StatusWatch();  // Stop()
    StatusWatch(const StatusWatch&) = delete;
    StatusWatch& operator=(const StatusWatch&) = delete;

    void Start();
    void Stop();

    // One round of queries; the thread calls it, tests may too.
    void QueryOnce();

    // The latest view, and its version: the version grows whenever the
    // view changes in anything but the age of the last reply.
    WebStatus Current(uint64_t* version = nullptr);

    // Waits until the version differs from seen, at most limitMs or until
    // Stop. True when it did.
    bool WaitForChange(uint64_t seen, int limitMs);

    // Asks again at once (after a command).
    void QuerySoon();

    bool Stopping();

private:
    void Run();
    void Publish(const WebStatus& status);

    ZubLink& link_;
    const LinkClock clock_;
    ChangeBell* const bell_;
    std::thread thread_;

    std::mutex mutex_;  // everything below
    std::condition_variable changed_;
    bool stopping_ = false;
    bool querySoon_ = false;
    WebStatus current_;
    std::string currentKey_;
    uint64_t version_ = 0;
    int64_t answerAt_ = -1;    // estimated time of the controller's last whole reply
    int catalogueDisc_ = -1;   // disc whose catalogue line current_ holds
    int64_t catalogueAt_ = 0;  // when it was read
    ScanStart scanStart_;      // the running scan's first slot as this watch saw it
};
