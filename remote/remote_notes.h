// The remote requests on the store of names, styles and plays
// (track_notes.h): a disc's style, a track's title and style, the tracks
// of a disc, a style shuffle and the play history. Each returns its
// reply's length.
#pragma once

#include <cstdint>

// REMOTE_SET_DISC_STYLE, REMOTE_SET_TRACK_TITLE, REMOTE_SET_TRACK_STYLE:
// the slot (and track) checked against the magazine, the text checked,
// then the store changed for the disc the slot holds; the window is asked
// to show the slot's row anew. Answers done or why not.
int AnswerSetNote(int32_t command, const unsigned char* buffer, unsigned char* reply);

// REMOTE_STYLE_SHUFFLE: StartStyleShuffle; the answer carries the count.
int AnswerStyleShuffle(const unsigned char* buffer, unsigned char* reply);

// REMOTE_TRACKS: the tracks of the slot the request names; none for an
// empty slot or one outside 1..100 (then the slot field is 0).
int WriteRemoteTracks(const unsigned char* buffer, unsigned char* reply);

// REMOTE_HISTORY: the newest plays and the most played tracks.
int WriteRemoteHistory(unsigned char* reply);
