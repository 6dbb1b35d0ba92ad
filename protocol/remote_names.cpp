// Byte layouts of the names, styles and plays requests and replies.
#include "protocol/remote_names.h"

#include <cstring>

#include "protocol/remote_text_field.h"

namespace {

int32_t Clamp(int32_t value, int32_t high) {
    return value < 0 ? 0 : value > high ? high : value;
}

void PutPlay(const RemotePlayRecord& play, unsigned char* out) {
    WriteRemoteInt(out + kRemotePlaySlotOffset, play.slot);
    WriteRemoteInt(out + kRemotePlayTrackOffset, play.track);
    WriteRemoteInt(out + kRemotePlayCountOffset, play.plays);
    uint64_t time = static_cast<uint64_t>(play.playedAt);
    WriteRemoteInt(out + kRemotePlayTimeOffset, static_cast<int32_t>(time & 0xFFFFFFFFu));
    WriteRemoteInt(out + kRemotePlayTimeOffset + 4, static_cast<int32_t>(time >> 32));
    WriteRemoteText(out + kRemotePlayDiscIdOffset, kRemoteSlotIdSize, play.discId);
    WriteRemoteText(out + kRemotePlayTitleOffset, kRemoteNameFieldSize, play.title);
    WriteRemoteText(out + kRemotePlayStyleOffset, kRemoteStyleFieldSize, play.style);
}

RemotePlayRecord GetPlay(const unsigned char* bytes) {
    RemotePlayRecord play;
    play.slot = ReadRemoteInt(bytes + kRemotePlaySlotOffset);
    play.track = ReadRemoteInt(bytes + kRemotePlayTrackOffset);
    play.plays = ReadRemoteInt(bytes + kRemotePlayCountOffset);
    uint64_t low = static_cast<uint32_t>(ReadRemoteInt(bytes + kRemotePlayTimeOffset));
    uint64_t high = static_cast<uint32_t>(ReadRemoteInt(bytes + kRemotePlayTimeOffset + 4));
    play.playedAt = static_cast<int64_t>(high << 32 | low);
    play.discId = ReadRemoteText(bytes + kRemotePlayDiscIdOffset, kRemoteSlotIdSize);
    play.title = ReadRemoteText(bytes + kRemotePlayTitleOffset, kRemoteNameFieldSize);
    play.style = ReadRemoteText(bytes + kRemotePlayStyleOffset, kRemoteStyleFieldSize);
    return play;
}

}  // namespace

bool IsRemoteTextRequest(int32_t command) {
    switch (command) {
        case REMOTE_SET_ARTIST:
        case REMOTE_SET_TITLE:
        case REMOTE_SET_DISC_STYLE:
        case REMOTE_SET_TRACK_TITLE:
        case REMOTE_SET_TRACK_STYLE:
        case REMOTE_STYLE_SHUFFLE:
            return true;
        default:
            return false;
    }
}

void EncodeRemoteTextRequest(int32_t command, int32_t slot, int32_t track, const std::string& text,
                             unsigned char request[kRemoteRequestSize]) {
    WriteRemoteInt(request + kRemoteCommandOffset, command);
    WriteRemoteInt(request + kRemoteDiscOffset, slot);
    WriteRemoteInt(request + kRemoteTrackOffset, track);
    WriteRemoteText(request + kRemoteNameTextOffset, kRemoteNameTextSize, text);
}

bool DecodeRemoteRequestText(const unsigned char* request, std::string* text) {
    const unsigned char* field = request + kRemoteNameTextOffset;
    if (std::memchr(field, 0, kRemoteNameTextSize) == nullptr) {
        return false;
    }
    *text = ReadRemoteText(field, kRemoteNameTextSize);
    return true;
}

void EncodeRemoteAnswer(const RemoteAnswerRecord& answer, unsigned char* out) {
    WriteRemoteInt(out + kRemoteAnswerResultOffset, answer.result);
    WriteRemoteInt(out + kRemoteAnswerValueOffset, answer.value);
    WriteRemoteText(out + kRemoteAnswerMessageOffset, kRemoteAnswerMessageSize, answer.message);
}

RemoteAnswerRecord DecodeRemoteAnswer(const unsigned char* bytes) {
    RemoteAnswerRecord answer;
    answer.result = ReadRemoteInt(bytes + kRemoteAnswerResultOffset);
    answer.value = ReadRemoteInt(bytes + kRemoteAnswerValueOffset);
    answer.message = ReadRemoteText(bytes + kRemoteAnswerMessageOffset, kRemoteAnswerMessageSize);
    return answer;
}

void EncodeRemoteTracks(const RemoteTracksRecord& tracks, unsigned char* out) {
    std::memset(out, 0, kRemoteTracksSize);
    int32_t count = Clamp(static_cast<int32_t>(tracks.tracks.size()), kLargestTrack);
    WriteRemoteInt(out + kRemoteTracksSlotOffset, tracks.slot);
    WriteRemoteInt(out + kRemoteTracksFirstOffset, tracks.firstTrack);
    WriteRemoteInt(out + kRemoteTracksCountOffset, count);
    WriteRemoteText(out + kRemoteTracksStyleOffset, kRemoteStyleFieldSize, tracks.style);
    for (int32_t i = 0; i < count; ++i) {
        const RemoteTrackRecord& track = tracks.tracks[i];
        unsigned char* record = out + kRemoteTracksRecordsOffset + i * kRemoteTrackRecordSize;
        WriteRemoteInt(record + kRemoteTrackNumberOffset, track.track);
        WriteRemoteInt(record + kRemoteTrackPlaysOffset, track.plays);
        WriteRemoteText(record + kRemoteTrackTitleOffset, kRemoteNameFieldSize, track.title);
        WriteRemoteText(record + kRemoteTrackStyleOffset, kRemoteStyleFieldSize, track.style);
    }
}

RemoteTracksRecord DecodeRemoteTracks(const unsigned char* bytes) {
    RemoteTracksRecord tracks;
    tracks.slot = ReadRemoteInt(bytes + kRemoteTracksSlotOffset);
    tracks.firstTrack = ReadRemoteInt(bytes + kRemoteTracksFirstOffset);
    int32_t count = Clamp(ReadRemoteInt(bytes + kRemoteTracksCountOffset), kLargestTrack);
    tracks.style = ReadRemoteText(bytes + kRemoteTracksStyleOffset, kRemoteStyleFieldSize);
    for (int32_t i = 0; i < count; ++i) {
        const unsigned char* record =
            bytes + kRemoteTracksRecordsOffset + i * kRemoteTrackRecordSize;
        RemoteTrackRecord track;
        track.track = ReadRemoteInt(record + kRemoteTrackNumberOffset);
        track.plays = ReadRemoteInt(record + kRemoteTrackPlaysOffset);
        track.title = ReadRemoteText(record + kRemoteTrackTitleOffset, kRemoteNameFieldSize);
        track.style = ReadRemoteText(record + kRemoteTrackStyleOffset, kRemoteStyleFieldSize);
        tracks.tracks.push_back(track);
    }
    return tracks;
}

void EncodeRemoteHistory(const RemoteHistoryRecord& history, unsigned char* out) {
    std::memset(out, 0, kRemoteHistorySize);
    int32_t recent = Clamp(static_cast<int32_t>(history.recent.size()), kRemoteHistoryEntries);
    int32_t most = Clamp(static_cast<int32_t>(history.mostPlayed.size()), kRemoteHistoryEntries);
    WriteRemoteInt(out + kRemoteHistoryRecentCountOffset, recent);
    WriteRemoteInt(out + kRemoteHistoryMostCountOffset, most);
    unsigned char* records = out + kRemoteHistoryRecordsOffset;
    for (int32_t i = 0; i < recent; ++i) {
        PutPlay(history.recent[i], records + i * kRemotePlayRecordSize);
    }
    records += kRemoteHistoryEntries * kRemotePlayRecordSize;
    for (int32_t i = 0; i < most; ++i) {
        PutPlay(history.mostPlayed[i], records + i * kRemotePlayRecordSize);
    }
}

RemoteHistoryRecord DecodeRemoteHistory(const unsigned char* bytes) {
    RemoteHistoryRecord history;
    int32_t recent =
        Clamp(ReadRemoteInt(bytes + kRemoteHistoryRecentCountOffset), kRemoteHistoryEntries);
    int32_t most =
        Clamp(ReadRemoteInt(bytes + kRemoteHistoryMostCountOffset), kRemoteHistoryEntries);
    const unsigned char* records = bytes + kRemoteHistoryRecordsOffset;
    for (int32_t i = 0; i < recent; ++i) {
        history.recent.push_back(GetPlay(records + i * kRemotePlayRecordSize));
    }
    records += kRemoteHistoryEntries * kRemotePlayRecordSize;
    for (int32_t i = 0; i < most; ++i) {
        history.mostPlayed.push_back(GetPlay(records + i * kRemotePlayRecordSize));
    }
    return history;
}
