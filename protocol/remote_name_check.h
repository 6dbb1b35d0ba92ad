// Whether a name, a slot or a track may be set: the same checks in the
// client, before it sends, and in the controller, before it writes.
// Each returns "" when the value is good, else why not as one line.
#pragma once

#include <cstdint>
#include <string>

enum RemoteNameKind {
    NameArtist,      // a disc's artist, in the catalogue
    NameDiscTitle,   // a disc's title, in the catalogue
    NameTrackTitle,  // a track's title, in the library
    NameStyle,       // a disc's or a track's style, or the style to shuffle
};

// The field's name in messages: "artist", "title", "track title", "style".
const char* RemoteNameKindText(RemoteNameKind kind);

// text must be UTF-8 of at most kRemoteNameLimit bytes (kRemoteStyleLimit
// for a style) without control characters (TAB and line breaks included);
// the catalogue's fields hold no double quote, as its reader drops them.
// An empty text clears the field.
std::string CheckRemoteName(RemoteNameKind kind, const std::string& text);

// A slot 1..kSlotCount.
std::string CheckRemoteSlot(int64_t slot);
// A track number 1..kLargestTrack.
std::string CheckRemoteTrackNumber(int64_t track);
// A track of a disc whose tracks are first..first + count - 1; no tracks
// when count is 0 (an empty slot or an unread disc).
std::string CheckTrackOnDisc(int64_t slot, int64_t track, int first, int count);
