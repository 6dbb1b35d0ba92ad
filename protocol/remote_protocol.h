// The remote-control wire format on TCP port 4239, shared by the server and
// its clients. Every integer is 32 bits, little-endian.
#pragma once

#include <cstdint>

#include "base/changer_facts.h"

const uint16_t kRemotePort = 4239;

// Request: command at offset 0, argument 1 (disc) at 4, argument 2 (track)
// at 8. A receive of up to kRemoteRequestSize bytes is one request.
const int kRemoteRequestSize = 80;
const int kRemoteCommandOffset = 0;
const int kRemoteDiscOffset = 4;
const int kRemoteTrackOffset = 8;
const int kRemoteFullRequestSize = 12;  // what a client sends for any command

// The whole 32-bit command value is compared: the ASCII code in the low byte,
// the upper three bytes zero.
enum RemoteCommand : int32_t {
    REMOTE_NEXT = 0x2C,        // ','
    REMOTE_PAUSE = 0x2D,       // '-'
    REMOTE_PLAY = 0x2E,        // '.'
    REMOTE_STOP = 0x2F,        // '/'
    REMOTE_RESTART = 0x30,     // '0'
    REMOTE_PLAY_DISC = 0x31,   // '1'
    REMOTE_PLAY_TRACK = 0x32,  // '2'
    REMOTE_SHUFFLE = 0x33,     // '3'
    REMOTE_POSITION = 0x34,    // '4'
    REMOTE_INFO = 0x35,        // '5'
    REMOTE_STATUS = 0x36,      // '6'
    REMOTE_MAGAZINE = 0x37,    // '7'
    REMOTE_SCAN = 0x38,        // '8': rescan slots disc..track (first..last)
    // Names, styles and plays (remote_names.h): each set request and the
    // style shuffle carry a text and get an answer record.
    REMOTE_SET_ARTIST = 0x39,       // '9': the catalogue's artist of slot disc
    REMOTE_SET_TITLE = 0x3A,        // ':': the catalogue's title of slot disc
    REMOTE_SET_DISC_STYLE = 0x3B,   // ';': the library's style of slot disc
    REMOTE_SET_TRACK_TITLE = 0x3C,  // '<': the library's title of track of disc
    REMOTE_SET_TRACK_STYLE = 0x3D,  // '=': the library's style of track of disc
    REMOTE_TRACKS = 0x3E,           // '>': the tracks of slot disc
    REMOTE_STYLE_SHUFFLE = 0x3F,    // '?': a shuffle playlist of one style
    REMOTE_HISTORY = 0x40,          // '@': recent and most played tracks
};

// RemotePosition reply: disc at 0, track at 4.
const int kRemotePositionSize = 8;

// RemoteInfo reply: disc at 0, track at 4, artist and title as terminated
// texts in 50-byte fields, then zeros up to 160 bytes.
const int kRemoteInfoSize = 160;
const int kRemoteTextSize = 50;
const int kRemoteArtistOffset = 8;
const int kRemoteTitleOffset = 58;

// RemoteStatus reply ('6'): what the status panel shows, whether the
// changer answers, and the scan's progress. Text fields are NUL-padded.
// Programs before the scan fields sent the first kRemoteStatusShortSize
// bytes only.
const int kRemoteStatusSize = 112;
const int kRemoteStatusShortSize = 96;
const int kRemoteStatusModeOffset = 0;
const int kRemoteStatusCodeOffset = 4;  // two characters, then two zero bytes
const int kRemoteStatusTextOffset = 8;
const int kRemoteStatusTextSize = 40;  // the longest text is 35 characters
const int kRemoteStatusDiscOffset = 48;
const int kRemoteStatusTrackOffset = 52;
const int kRemoteStatusIndexOffset = 56;
const int kRemoteStatusTrackTimeOffset = 60;  // seconds
const int kRemoteStatusDiscTimeOffset = 64;   // seconds
const int kRemoteStatusAutopauseOffset = 68;
const int kRemoteStatusPlaylistPosOffset = 72;
const int kRemoteStatusPlaylistCountOffset = 76;
const int kRemoteStatusNextDiscOffset = 80;     // 0 when there is no next entry
const int kRemoteStatusNextTrackOffset = 84;    // 0 when there is no next entry
const int kRemoteStatusAnsweringOffset = 88;    // 1 when the last poll got a whole reply
const int kRemoteStatusSinceOffset = 92;        // ms since the last whole reply; -1 never
const int kRemoteStatusScanningOffset = 96;     // 1 while a scan runs
const int kRemoteStatusScanSlotOffset = 100;    // slot being scanned; after a scan its last
const int kRemoteStatusScanLastOffset = 104;    // the slot the scan ends at; 0 before any scan
const int kRemoteStatusGenerationOffset = 108;  // changes whenever the magazine table does

// RemoteMagazine reply ('7'): kSlotCount records of kRemoteSlotSize bytes,
// slot 1 first. An empty slot's record is all zeros.
const int kRemoteSlotSize = 128;
const int kRemoteSlotPresentOffset = 0;
const int kRemoteSlotIdOffset = 4;  // 10 characters and a NUL, then one zero byte
const int kRemoteSlotIdSize = 11;
const int kRemoteSlotFirstTrackOffset = 16;
const int kRemoteSlotTrackCountOffset = 20;
const int kRemoteSlotDiscTimeOffset = 24;  // seconds
const int kRemoteSlotArtistOffset = 28;    // kRemoteTextSize bytes, as in RemoteInfo
const int kRemoteSlotTitleOffset = 78;
const int kRemoteMagazineSlots = kSlotCount;
const int kRemoteMagazineSize = kRemoteMagazineSlots * kRemoteSlotSize;

// The longest reply: what a reply buffer must hold.
const int kRemoteMaxReplySize = kRemoteMagazineSize;

// The artist sent when the catalogue gave none.
const char kRemoteNoCatalogue[] = "couldn't open zub.txt";

inline int32_t ReadRemoteInt(const unsigned char* bytes) {
    uint32_t value = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                     uint32_t(bytes[3]) << 24;
    return static_cast<int32_t>(value);
}

inline void WriteRemoteInt(unsigned char* bytes, int32_t value) {
    uint32_t bits = static_cast<uint32_t>(value);
    bytes[0] = static_cast<unsigned char>(bits);
    bytes[1] = static_cast<unsigned char>(bits >> 8);
    bytes[2] = static_cast<unsigned char>(bits >> 16);
    bytes[3] = static_cast<unsigned char>(bits >> 24);
}
