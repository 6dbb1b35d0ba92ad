// The per-changer cache of discs and tracks.
#include "clients/zubweb/track_cache.h"

#include <vector>

#include "base/deadline.h"

bool WebTrackCache::Refresh(ZubLink& link, int32_t generation, int budgetMs, std::string* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Deadline deadline(budgetMs);
    const int64_t now = SteadyClockMs();
    if (read_ && whole_ && !stale_ && generation == generation_ &&
        now - readAtMs_ < kWebDiscsMaxAgeMs) {
        return true;
    }
    std::vector<unsigned char> reply(kRemoteMagazineSize);
    WebCommand query;
    query.command = REMOTE_MAGAZINE;
    if (!link.Exchange(query, reply.data(), kRemoteMagazineSize, deadline.LeftMs(), error)) {
        return false;
    }
    index_.slots.clear();
    for (int i = 0; i < kRemoteMagazineSlots; ++i) {
        index_.slots.push_back(DecodeRemoteSlot(reply.data() + i * kRemoteSlotSize));
    }
    if (!read_ || generation != generation_) {
        index_.tracks.clear();
        generation_ = generation;
        read_ = true;
    }
    stale_ = false;
    readAtMs_ = now;
    whole_ = true;
    std::vector<unsigned char> tracks(kRemoteTracksSize);
    int fetched = 0;
    for (int slot = 1; slot <= kRemoteMagazineSlots; ++slot) {
        const RemoteSlotRecord& record = index_.slots[slot - 1];
        if (!record.present) {
            index_.tracks.erase(slot);
            continue;
        }
        if (index_.tracks.count(slot) != 0) {
            continue;
        }
        if (fetched >= kWebTracksPerRefresh || deadline.LeftMs() <= 0) {
            whole_ = false;
            break;
        }
        WebCommand ask;
        ask.command = REMOTE_TRACKS;
        ask.disc = slot;
        std::string ignored;
        ++fetched;
        if (!link.Exchange(ask, tracks.data(), kRemoteTracksSize, deadline.LeftMs(), &ignored)) {
            whole_ = false;
            break;
        }
        index_.tracks[slot] = DecodeRemoteTracks(tracks.data());
    }
    // The texts searched, once per refresh rather than once per filter.
    index_.texts.clear();
    for (int slot = 1; slot <= kRemoteMagazineSlots; ++slot) {
        if (index_.slots[slot - 1].present) {
            index_.texts[slot] = DiscSearchText(index_, slot);
        }
    }
    return true;
}

void WebTrackCache::Forget(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    index_.tracks.erase(slot);
    stale_ = true;
}

WebDiscIndex WebTrackCache::Index() {
    std::lock_guard<std::mutex> lock(mutex_);
    return index_;
}
