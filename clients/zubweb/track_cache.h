// What zubweb knows of one changer's discs for the filter: the magazine
// and each present disc's tracks (titles, styles). Tracks are fetched
// again when the magazine's generation changes or a name is set through
// zubweb; each refresh fetches at most kWebTracksPerRefresh discs within
// its time budget and the next refresh goes on from there. The magazine
// itself is read again when the generation changes, a name was set, or
// what was read is kWebDiscsMaxAgeMs old.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "clients/zubweb/web_names.h"
#include "clients/zubweb/zub_link.h"

const int kWebTracksPerRefresh = 100;
// A filter typed letter by letter reads the magazine again at most this
// often while its generation stays and no name was set through zubweb.
const int kWebDiscsMaxAgeMs = 1000;

class WebTrackCache {
public:
    // Reads the magazine and the tracks not known yet. False with a message
    // when the magazine could not be read; a disc whose tracks could not be
    // read is tried at the next refresh.
    bool Refresh(ZubLink& link, int32_t generation, int budgetMs, std::string* error);

    // The magazine and the tracks of slot are read again at the next refresh.
    void Forget(int slot);

    // A copy of what is known.
    WebDiscIndex Index();

private:
    std::mutex mutex_;
    WebDiscIndex index_;
    int32_t generation_ = 0;
    bool read_ = false;
    bool stale_ = false;  // a name was set since the magazine was read
    bool whole_ = false;  // every present disc's tracks are known
    int64_t readAtMs_ = 0;
};
