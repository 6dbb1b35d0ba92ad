// Names, styles and plays for the remote sessions, from the store.
#include "remote/remote_notes.h"

#include <mutex>
#include <string>
#include <vector>

#include "base/display_text.h"
#include "changer/magazine_copy.h"
#include "changer/playlist.h"
#include "changer/track_notes.h"
#include "platform/window_hooks.h"
#include "protocol/remote_name_check.h"
#include "remote/remote_answer.h"

static_assert(kRemoteNameLimit <= kNoteTitleLength,
              "a title a remote client may send, the store keeps");

namespace {

// A track's title and style are set together in the store: two sessions
// setting one each must not each write back the other's old value.
std::mutex noteEditMutex;

// The slot's row of the magazine copy (never waits for the line).
MagazineCopyRow SlotRow(int32_t slot) {
    MagazineCopy magazine;
    ReadMagazineCopy(&magazine);
    return magazine.rows[slot - 1];
}

// The slot holding the disc now; 0 when none does.
int SlotOfDisc(const MagazineCopy& magazine, const std::string& discId) {
    for (int i = 0; i < kSlotCount; ++i) {
        if (magazine.rows[i].present && discId == magazine.rows[i].szDiscId) {
            return i + 1;
        }
    }
    return 0;
}

int32_t Count(int64_t count) {
    return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

std::string NameField(const std::string& text) {
    return CutTextAtCharacter(text, kRemoteNameLimit);
}

std::string StyleField(const std::string& text) {
    return CutTextAtCharacter(text, kRemoteStyleLimit);
}

// The disc the request's slot (and track) names: "" and its identifier,
// or why there is none.
std::string NamedDisc(int32_t command, int32_t slot, int32_t track, std::string* discId) {
    std::string problem = CheckRemoteSlot(slot);
    if (!problem.empty()) {
        return problem;
    }
    MagazineCopyRow row = SlotRow(slot);
    if (!row.present) {
        return "slot " + std::to_string(slot) + " holds no disc";
    }
    if (command != REMOTE_SET_DISC_STYLE) {
        problem = CheckTrackOnDisc(slot, track, row.wFirstTrack, row.wTrackCount);
        if (!problem.empty()) {
            return problem;
        }
    }
    *discId = row.szDiscId;
    problem = DiscIdProblem(*discId);
    return problem.empty() ? "" : "the disc in slot " + std::to_string(slot) + ": " + problem;
}

RemotePlayRecord PlayOf(const MagazineCopy& magazine, const std::string& discId, int track,
                        int64_t playedAt) {
    TrackNote note = TrackNotes(discId, track);
    RemotePlayRecord play;
    play.slot = SlotOfDisc(magazine, discId);
    play.track = track;
    play.plays = Count(note.playCount);
    play.playedAt = playedAt;
    play.discId = discId;
    play.title = NameField(note.title);
    play.style = StyleField(note.style);
    return play;
}

}  // namespace

int AnswerSetNote(int32_t command, const unsigned char* buffer, unsigned char* reply) {
    int32_t slot = ReadRemoteInt(buffer + kRemoteDiscOffset);
    int32_t track = ReadRemoteInt(buffer + kRemoteTrackOffset);
    std::string text;
    int length = 0;
    if (!TakeRequestText(buffer, reply, &text, &length)) {
        return length;
    }
    std::string discId;
    std::string problem =
        CheckRemoteName(command == REMOTE_SET_TRACK_TITLE ? NameTrackTitle : NameStyle, text);
    if (problem.empty()) {
        problem = NamedDisc(command, slot, track, &discId);
    }
    if (!problem.empty()) {
        return WriteRemoteAnswer(reply, RemoteAnswerRefused, problem);
    }
    bool set;
    if (command == REMOTE_SET_DISC_STYLE) {
        set = SetDiscStyle(discId, text, &problem);
    } else {
        std::lock_guard<std::mutex> lock(noteEditMutex);
        TrackNote note = TrackNotes(discId, track);
        bool title = command == REMOTE_SET_TRACK_TITLE;
        set = SetTrackTitleStyle(discId, track, title ? text : note.title,
                                 title ? note.style : text, &problem);
    }
    if (!set) {
        return WriteRemoteAnswer(reply, RemoteAnswerRefused, problem);
    }
    RequestSlotRowRefresh(g_hWnd.load(), slot);
    return WriteRemoteAnswer(reply, RemoteAnswerDone, "");
}

int AnswerStyleShuffle(const unsigned char* buffer, unsigned char* reply) {
    std::string style;
    int length = 0;
    if (!TakeRequestText(buffer, reply, &style, &length)) {
        return length;
    }
    std::string problem = CheckRemoteName(NameStyle, style);
    if (problem.empty() && style.empty()) {
        problem = "the style to shuffle is empty";
    }
    if (!problem.empty()) {
        return WriteRemoteAnswer(reply, RemoteAnswerRefused, problem);
    }
    return WriteRemoteAnswer(reply, RemoteAnswerDone, "", StartStyleShuffle(style));
}

int WriteRemoteTracks(const unsigned char* buffer, unsigned char* reply) {
    int32_t slot = ReadRemoteInt(buffer + kRemoteDiscOffset);
    RemoteTracksRecord tracks;
    if (CheckRemoteSlot(slot).empty()) {
        tracks.slot = slot;
        MagazineCopyRow row = SlotRow(slot);
        if (row.present && row.wTrackCount > 0) {
            std::string discId = row.szDiscId;
            tracks.firstTrack = row.wFirstTrack;
            tracks.style = StyleField(DiscStyle(discId));
            for (int k = 0; k < row.wTrackCount && k < kLargestTrack; ++k) {
                int track = row.wFirstTrack + k;
                TrackNote note = TrackNotes(discId, track);
                tracks.tracks.push_back(
                    {track, Count(note.playCount), NameField(note.title), StyleField(note.style)});
            }
        }
    }
    EncodeRemoteTracks(tracks, reply);
    return kRemoteTracksSize;
}

int WriteRemoteHistory(unsigned char* reply) {
    MagazineCopy magazine;
    ReadMagazineCopy(&magazine);
    RemoteHistoryRecord history;
    for (const PlayRecord& play : RecentPlays(kRemoteHistoryEntries)) {
        history.recent.push_back(PlayOf(magazine, play.discId, play.track, play.playedAt));
    }
    for (const TrackPlays& track : MostPlayed(kRemoteHistoryEntries)) {
        history.mostPlayed.push_back(PlayOf(magazine, track.discId, track.track, track.lastPlayed));
    }
    EncodeRemoteHistory(history, reply);
    return kRemoteHistorySize;
}
