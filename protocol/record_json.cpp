// JSON of the status, magazine and play history replies.
#include "protocol/record_json.h"

#include "base/changer_facts.h"
#include "base/display_text.h"

const char* PlayModeName(int32_t mode) {
    switch (mode) {
        case ModePlay:
            return "play";
        case ModePause:
            return "pause";
        case ModeStop:
            return "stop";
        case ModeUnloaded:
            return "unloaded";
        case ModeShuffle:
            return "shuffle";
        case ModeWholeDisc:
            return "whole-disc";
        default:
            return "unknown";
    }
}

nlohmann::ordered_json StatusRecordJson(const RemoteStatusRecord& s) {
    nlohmann::ordered_json next = nullptr;
    if (s.nextDisc != 0) {
        next = {{"disc", s.nextDisc}, {"track", s.nextTrack}};
    }
    return {
        {"disc", s.disc},
        {"track", s.track},
        {"index", s.index},
        {"mode", PlayModeName(s.mode)},
        {"code", CatalogueTextToUtf8(s.code)},
        {"status", CatalogueTextToUtf8(s.text)},
        {"track_time", s.trackSeconds},
        {"disc_time", s.discSeconds},
        {"autopause", s.autopause != 0},
        {"playlist_pos", s.playlistPos},
        {"playlist_count", s.playlistCount},
        {"next", next},
        {"answering", s.answering != 0},
        {"since_ms", s.sinceAnswerMs},
        {"scanning", s.scanning != 0},
        {"scan_slot", s.scanSlot},
        {"scan_last_slot", s.scanLastSlot},
        {"magazine_generation", s.magazineGeneration},
    };
}

nlohmann::ordered_json MagazineJson(const std::vector<RemoteSlotRecord>& slots) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (size_t i = 0; i < slots.size(); ++i) {
        const RemoteSlotRecord& slot = slots[i];
        if (!slot.present) {
            continue;
        }
        list.push_back({
            {"slot", static_cast<int>(i + 1)},
            {"id", CatalogueTextToUtf8(slot.id)},
            {"first_track", slot.firstTrack},
            {"track_count", slot.trackCount},
            {"disc_time", slot.discSeconds},
            {"artist", CatalogueTextToUtf8(slot.artist)},
            {"title", CatalogueTextToUtf8(slot.title)},
        });
    }
    return list;
}

namespace {

nlohmann::ordered_json PlayRecordJson(const RemotePlayRecord& play) {
    return {{"slot", play.slot},
            {"disc_id", CatalogueTextToUtf8(play.discId)},
            {"track", play.track},
            {"title", CatalogueTextToUtf8(play.title)},
            {"style", CatalogueTextToUtf8(play.style)},
            {"plays", play.plays},
            {"played_at", play.playedAt}};
}

}  // namespace

nlohmann::ordered_json HistoryRecordJson(const RemoteHistoryRecord& history, int limit) {
    nlohmann::ordered_json recent = nlohmann::ordered_json::array();
    nlohmann::ordered_json most = nlohmann::ordered_json::array();
    for (size_t i = 0; i < history.recent.size() && static_cast<int>(i) < limit; ++i) {
        recent.push_back(PlayRecordJson(history.recent[i]));
    }
    for (size_t i = 0; i < history.mostPlayed.size() && static_cast<int>(i) < limit; ++i) {
        most.push_back(PlayRecordJson(history.mostPlayed[i]));
    }
    return {{"recent", recent}, {"most_played", most}};
}

std::string DumpJson(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
