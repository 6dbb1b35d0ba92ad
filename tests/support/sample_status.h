// A status record of a shuffle on disc 7, track 3, with the next entry
// disc 4 track 9, for the tests of the tools that show it.
#pragma once

#include "changer/status_poll.h"
#include "remote/remote_records.h"

inline RemoteStatusRecord SampleShuffleStatus(const char* code, const char* text) {
    RemoteStatusRecord s;
    s.mode = ModeShuffle;
    s.code = code;
    s.text = text;
    s.disc = 7;
    s.track = 3;
    s.index = 1;
    s.trackSeconds = 65;
    s.discSeconds = 750;
    s.autopause = 1;
    s.playlistPos = 2;
    s.playlistCount = 40;
    s.nextDisc = 4;
    s.nextTrack = 9;
    s.answering = 1;
    s.sinceAnswerMs = 120;
    return s;
}
