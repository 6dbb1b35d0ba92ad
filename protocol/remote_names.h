// The requests and replies of names, styles and plays: the text requests
// (set an artist, a title or a style; a style shuffle), their answer, the
// tracks of a disc and the play history. Pure byte layouts; every integer
// is 32 bits little-endian but a play's time (64 bits).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/remote_protocol.h"

// A text request is all kRemoteRequestSize bytes: command at 0, slot at 4,
// track at 8 (0 when the text is a disc's or a style to shuffle), then the
// text, UTF-8, NUL-terminated and NUL-padded to the request's end.
const int kRemoteNameTextOffset = 12;
const int kRemoteNameTextSize = kRemoteRequestSize - kRemoteNameTextOffset;

// The longest texts, in bytes of UTF-8: an artist or a title (of a disc or
// a track), and a style.
const int kRemoteNameLimit = 64;
const int kRemoteStyleLimit = 31;
static_assert(kRemoteNameLimit < kRemoteNameTextSize, "a name and its NUL fit the request");
// Their fields in the replies: the text, then NULs.
const int kRemoteNameFieldSize = 68;
const int kRemoteStyleFieldSize = kRemoteStyleLimit + 1;

// The answer to every text request: result, a number (the style shuffle's
// track count), and for a refusal why, as one line.
const int kRemoteAnswerResultOffset = 0;
const int kRemoteAnswerValueOffset = 4;
const int kRemoteAnswerMessageOffset = 8;
const int kRemoteAnswerMessageSize = 64;
const int kRemoteAnswerSize = kRemoteAnswerMessageOffset + kRemoteAnswerMessageSize;

enum RemoteAnswerResult : int32_t {
    RemoteAnswerDone = 0,
    RemoteAnswerRefused = 1,  // the request names nothing that can be set, or a bad text
    RemoteAnswerFailed = 2,   // could not be done: no library, the catalogue not writable
};

struct RemoteAnswerRecord {
    int32_t result = RemoteAnswerDone;
    int32_t value = 0;
    std::string message;
};

// The tracks of a slot: slot, first track, track count, the disc's style,
// then kLargestTrack track records of which the first track-count are in
// use (the rest zeros).
const int kRemoteTracksSlotOffset = 0;
const int kRemoteTracksFirstOffset = 4;
const int kRemoteTracksCountOffset = 8;
const int kRemoteTracksStyleOffset = 12;
const int kRemoteTracksRecordsOffset = kRemoteTracksStyleOffset + kRemoteStyleFieldSize;
// One track: number, play count, title, style.
const int kRemoteTrackNumberOffset = 0;
const int kRemoteTrackPlaysOffset = 4;
const int kRemoteTrackTitleOffset = 8;
const int kRemoteTrackStyleOffset = kRemoteTrackTitleOffset + kRemoteNameFieldSize;
const int kRemoteTrackRecordSize = kRemoteTrackStyleOffset + kRemoteStyleFieldSize;
const int kRemoteTracksSize = kRemoteTracksRecordsOffset + kLargestTrack * kRemoteTrackRecordSize;

struct RemoteTrackRecord {
    int32_t track = 0;
    int32_t plays = 0;
    std::string title;
    std::string style;
};

struct RemoteTracksRecord {
    int32_t slot = 0;
    int32_t firstTrack = 0;
    std::string style;
    std::vector<RemoteTrackRecord> tracks;  // at most kLargestTrack
};

// The play history: how many recent plays and most played tracks follow,
// then kRemoteHistoryEntries records of each (the unused ones zeros): the
// recent plays newest first, then the most played tracks most first.
const int kRemoteHistoryEntries = 20;
const int kRemoteHistoryRecentCountOffset = 0;
const int kRemoteHistoryMostCountOffset = 4;
const int kRemoteHistoryRecordsOffset = 8;
// One play: slot (0 when the disc is not in the magazine now), track, the
// track's play count, 4 zeros, the time (seconds since 1970, UTC, 64
// bits), the disc identifier (kRemoteSlotIdSize bytes, then one zero), the
// track's title and style. For a most played track the time is its last
// play's.
const int kRemotePlaySlotOffset = 0;
const int kRemotePlayTrackOffset = 4;
const int kRemotePlayCountOffset = 8;
const int kRemotePlayTimeOffset = 16;
const int kRemotePlayDiscIdOffset = 24;
const int kRemotePlayTitleOffset = kRemotePlayDiscIdOffset + kRemoteSlotIdSize + 1;
const int kRemotePlayStyleOffset = kRemotePlayTitleOffset + kRemoteNameFieldSize;
const int kRemotePlayRecordSize = kRemotePlayStyleOffset + kRemoteStyleFieldSize;
const int kRemoteHistorySize =
    kRemoteHistoryRecordsOffset + 2 * kRemoteHistoryEntries * kRemotePlayRecordSize;

static_assert(kRemoteTracksSize <= kRemoteMaxReplySize && kRemoteHistorySize <= kRemoteMaxReplySize,
              "every reply fits the reply buffer");

struct RemotePlayRecord {
    int32_t slot = 0;
    int32_t track = 0;
    int32_t plays = 0;
    int64_t playedAt = 0;
    std::string discId;
    std::string title;
    std::string style;
};

struct RemoteHistoryRecord {
    std::vector<RemotePlayRecord> recent;      // at most kRemoteHistoryEntries
    std::vector<RemotePlayRecord> mostPlayed;  // at most kRemoteHistoryEntries
};

// Whether command is one of the text requests.
bool IsRemoteTextRequest(int32_t command);

// The kRemoteRequestSize-byte text request.
void EncodeRemoteTextRequest(int32_t command, int32_t slot, int32_t track, const std::string& text,
                             unsigned char request[kRemoteRequestSize]);
// The text of a request: false when its field holds no NUL (the text would
// be cut).
bool DecodeRemoteRequestText(const unsigned char* request, std::string* text);

// Each record's bytes (the sizes above) and back. Texts too long for their
// field are cut so a NUL follows them; extra entries are dropped.
void EncodeRemoteAnswer(const RemoteAnswerRecord& answer, unsigned char* out);
RemoteAnswerRecord DecodeRemoteAnswer(const unsigned char* bytes);
void EncodeRemoteTracks(const RemoteTracksRecord& tracks, unsigned char* out);
RemoteTracksRecord DecodeRemoteTracks(const unsigned char* bytes);
void EncodeRemoteHistory(const RemoteHistoryRecord& history, unsigned char* out);
RemoteHistoryRecord DecodeRemoteHistory(const unsigned char* bytes);
