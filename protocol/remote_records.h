// The status ('6') and magazine ('7') replies as values, and their byte
// layouts (remote_protocol.h). Pure: no sockets, no process-wide state.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/remote_protocol.h"

struct RemoteStatusRecord {
    int32_t mode = 0;  // PlayMode
    std::string code;  // the changer's two-character status code
    std::string text;  // the code's text
    int32_t disc = 0;
    int32_t track = 0;
    int32_t index = 0;
    int32_t trackSeconds = 0;
    int32_t discSeconds = 0;
    int32_t autopause = 0;
    int32_t playlistPos = 0;  // entry that plays next, 0-based
    int32_t playlistCount = 0;
    int32_t nextDisc = 0;  // 0 when no entry is next
    int32_t nextTrack = 0;
    int32_t answering = 0;           // 1 when the last poll got a whole reply
    int32_t sinceAnswerMs = -1;      // -1 before the first whole reply
    int32_t scanning = 0;            // 1 while a scan runs
    int32_t scanSlot = 0;            // slot being scanned; after a scan its last
    int32_t scanLastSlot = 0;        // the slot a scan ends at; 0 before any scan
    int32_t magazineGeneration = 0;  // changes whenever the magazine table does
};

struct RemoteSlotRecord {
    bool present = false;
    std::string id;
    int32_t firstTrack = 0;
    int32_t trackCount = 0;
    int32_t discSeconds = 0;
    std::string artist;
    std::string title;
};

// Writes kRemoteStatusSize bytes. Texts too long for their field are cut so
// a NUL always follows them.
void EncodeRemoteStatus(const RemoteStatusRecord& status, unsigned char* out);

// Reads size bytes: kRemoteStatusSize, or kRemoteStatusShortSize from a
// program without the scan fields (they stay 0). A text field without a NUL
// ends at the field's end.
RemoteStatusRecord DecodeRemoteStatus(const unsigned char* bytes, int size = kRemoteStatusSize);

// A kRemoteTextSize-byte text field (artist, title): up to its NUL or the
// field's end.
std::string DecodeRemoteText(const unsigned char* field);

// Writes a kRemoteTextSize-byte text field: the text cut to leave room for
// a NUL, then zeros.
void EncodeRemoteText(const std::string& text, unsigned char* field);

// One slot: kRemoteSlotSize bytes. An absent slot is written as zeros.
void EncodeRemoteSlot(const RemoteSlotRecord& slot, unsigned char* out);
RemoteSlotRecord DecodeRemoteSlot(const unsigned char* bytes);
