// Remote requests: play, pause, stop, disc and track requests, position and
// catalogue queries; names, styles and plays are answered by
// remote_catalogue_names.h and remote_notes.h.
#include "remote/remote_request.h"

#include <cstring>
#include <mutex>
#include <string>

#include "changer/magazine.h"
#include "changer/playlist.h"
#include "changer/status_poll.h"
#include "link/changer_link.h"
#include "platform/window_hooks.h"
#include "remote/remote_catalogue_names.h"
#include "remote/remote_notes.h"
#include "remote/remote_status.h"
#include "resources/resource_ids.h"

namespace {

bool DiscInRange(int32_t disc) {
    return disc >= 1 && disc <= kSlotCount;
}

bool TrackInRange(int32_t track) {
    return track >= 1 && track <= kLargestTrack;
}

// Whole-disc play starts only when the disc plays: a rejected disc, or one
// the changer does not load, leaves the mode as it was, so the next poll does not leave a
// whole-disc mode that never began.
void PlayWholeDisc(int32_t disc) {
    if (!DiscInRange(disc)) {
        return;
    }
    // The first track is looked up under the serial lock, after the
    // first-load check: a disc swapped in the slot may start at another.
    if (PlayDiscFirstTrack(static_cast<uint16_t>(disc), 0) == kPlaySent) {
        g_nMode = ModeWholeDisc;
    }
}

// Disc and track are taken whole: a number outside the ranges names no disc
// or track, however its low bits read.
void PlayRequestedTrack(int32_t disc, int32_t track) {
    if (DiscInRange(disc) && TrackInRange(track)) {
        PlayDiscTrack(static_cast<uint16_t>(disc), static_cast<uint16_t>(track), 1);
    }
}

// A rescan of first..last runs on the window thread as the Scan button does,
// queued so this session is not held for minutes; one that arrives while a
// button's work runs is dropped there. An impossible range never gets there.
void RequestRescan(int32_t first, int32_t last) {
    if (DiscInRange(first) && DiscInRange(last) && first <= last) {
        PostButtonCommand(g_hWnd.load(), CommandWordWithPair(IDC_RESCAN, first, last));
    }
}

int WritePosition(unsigned char* reply) {
    WriteRemoteInt(reply, g_nDisc.load());
    WriteRemoteInt(reply + 4, g_nTrack.load());
    return kRemotePositionSize;
}

// Artist and title of the current disc; before the first status reply (or
// after one naming no slot) there is no disc, and both texts stay empty.
int WriteInfo(unsigned char* reply) {
    int disc = g_nDisc.load();
    std::memset(reply, 0, kRemoteInfoSize);
    WriteRemoteInt(reply, disc);
    WriteRemoteInt(reply + 4, g_nTrack.load());
    if (!DiscInRange(disc)) {
        return kRemoteInfoSize;
    }
    std::string artist;
    std::string title;
    ReadRemoteCatalogue(disc, &artist, &title);
    EncodeRemoteText(artist, reply + kRemoteArtistOffset);
    EncodeRemoteText(title, reply + kRemoteTitleOffset);
    return kRemoteInfoSize;
}

}  // namespace

int HandleRemoteRequest(const unsigned char* buffer, unsigned char* reply) {
    int32_t command = ReadRemoteInt(buffer + kRemoteCommandOffset);
    int32_t disc = ReadRemoteInt(buffer + kRemoteDiscOffset);
    int32_t track = ReadRemoteInt(buffer + kRemoteTrackOffset);

    switch (command) {
        case REMOTE_NEXT:
            PlayNextEntry();
            return 0;
        case REMOTE_PAUSE:
            SendButtonCommand(g_hWnd.load(), IDC_PAUSE);
            return 0;
        case REMOTE_PLAY:
            SendButtonCommand(g_hWnd.load(), IDC_PLAY);
            return 0;
        case REMOTE_STOP:
            SendButtonCommand(g_hWnd.load(), IDC_STOP);
            return 0;
        case REMOTE_RESTART:
            // Disc and track come from two-digit reply fields; one that a
            // garbled reply made negative turns into a large number here,
            // which PlayDiscTrack rejects.
            PlayDiscTrack(static_cast<uint16_t>(g_nDisc.load()),
                          static_cast<uint16_t>(g_nTrack.load()), 1);
            return 0;
        case REMOTE_PLAY_DISC:
            PlayWholeDisc(disc);
            return 0;
        case REMOTE_PLAY_TRACK:
            PlayRequestedTrack(disc, track);
            return 0;
        case REMOTE_SHUFFLE:
            g_nMode = ModeShuffle;
            PlayNextEntry();
            return 0;
        case REMOTE_POSITION:
            return WritePosition(reply);
        case REMOTE_INFO:
            return WriteInfo(reply);
        case REMOTE_STATUS:
            return WriteRemoteStatus(reply);
        case REMOTE_MAGAZINE:
            return WriteRemoteMagazine(reply);
        case REMOTE_SCAN:
            RequestRescan(disc, track);
            return 0;
        case REMOTE_SET_ARTIST:
        case REMOTE_SET_TITLE:
            return AnswerSetCatalogueName(command, buffer, reply);
        case REMOTE_SET_DISC_STYLE:
        case REMOTE_SET_TRACK_TITLE:
        case REMOTE_SET_TRACK_STYLE:
            return AnswerSetNote(command, buffer, reply);
        case REMOTE_STYLE_SHUFFLE:
            return AnswerStyleShuffle(buffer, reply);
        case REMOTE_TRACKS:
            return WriteRemoteTracks(buffer, reply);
        case REMOTE_HISTORY:
            return WriteRemoteHistory(reply);
        default:
            return 0;
    }
}
