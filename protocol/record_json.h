// The status ('6'), magazine ('7') and play history replies as JSON, the
// same for zubremote --json and zubweb. Texts become UTF-8 as CatalogueTextToUtf8
// reads them; times are in seconds.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "protocol/remote_names.h"
#include "protocol/remote_records.h"

// "play", "pause", "stop", "unloaded", "shuffle", "whole-disc"; "unknown"
// for any other value.
const char* PlayModeName(int32_t mode);

// disc, track, index, mode, code, status, track_time, disc_time, autopause,
// playlist_pos, playlist_count, next ({"disc", "track"} or null), answering,
// since_ms.
nlohmann::ordered_json StatusRecordJson(const RemoteStatusRecord& status);

// The present slots, slot 1 first: slot, id, first_track, track_count,
// disc_time, artist, title.
nlohmann::ordered_json MagazineJson(const std::vector<RemoteSlotRecord>& slots);

// {"recent": [...], "most_played": [...]}, each at most limit plays:
// slot, disc_id, track, title, style, plays, played_at (seconds since 1970,
// UTC).
nlohmann::ordered_json HistoryRecordJson(const RemoteHistoryRecord& history, int limit);

// One line; never throws (invalid UTF-8 is replaced).
std::string DumpJson(const nlohmann::ordered_json& value);
