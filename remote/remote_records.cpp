// Byte layouts of the status and magazine replies.
#include "remote/remote_records.h"

#include <cstring>

namespace {

// Writes text into a zeroed field of size bytes, cut to leave a NUL.
void PutText(unsigned char* field, int size, const std::string& text) {
    std::memset(field, 0, size);
    size_t length = text.size() < static_cast<size_t>(size - 1) ? text.size() : size - 1;
    std::memcpy(field, text.data(), length);
}

// The text of a field: up to its first NUL, or the whole field.
std::string GetText(const unsigned char* field, int size) {
    int length = 0;
    while (length < size && field[length] != 0) {
        ++length;
    }
    return std::string(reinterpret_cast<const char*>(field), length);
}

}  // namespace

void EncodeRemoteStatus(const RemoteStatusRecord& status, unsigned char* out) {
    std::memset(out, 0, kRemoteStatusSize);
    WriteRemoteInt(out + kRemoteStatusModeOffset, status.mode);
    PutText(out + kRemoteStatusCodeOffset, 3, status.code);
    PutText(out + kRemoteStatusTextOffset, kRemoteStatusTextSize, status.text);
    WriteRemoteInt(out + kRemoteStatusDiscOffset, status.disc);
    WriteRemoteInt(out + kRemoteStatusTrackOffset, status.track);
    WriteRemoteInt(out + kRemoteStatusIndexOffset, status.index);
    WriteRemoteInt(out + kRemoteStatusTrackTimeOffset, status.trackSeconds);
    WriteRemoteInt(out + kRemoteStatusDiscTimeOffset, status.discSeconds);
    WriteRemoteInt(out + kRemoteStatusAutopauseOffset, status.autopause);
    WriteRemoteInt(out + kRemoteStatusPlaylistPosOffset, status.playlistPos);
    WriteRemoteInt(out + kRemoteStatusPlaylistCountOffset, status.playlistCount);
    WriteRemoteInt(out + kRemoteStatusNextDiscOffset, status.nextDisc);
    WriteRemoteInt(out + kRemoteStatusNextTrackOffset, status.nextTrack);
    WriteRemoteInt(out + kRemoteStatusAnsweringOffset, status.answering);
    WriteRemoteInt(out + kRemoteStatusSinceOffset, status.sinceAnswerMs);
}

RemoteStatusRecord DecodeRemoteStatus(const unsigned char* bytes) {
    RemoteStatusRecord status;
    status.mode = ReadRemoteInt(bytes + kRemoteStatusModeOffset);
    status.code = GetText(bytes + kRemoteStatusCodeOffset, 2);
    status.text = GetText(bytes + kRemoteStatusTextOffset, kRemoteStatusTextSize);
    status.disc = ReadRemoteInt(bytes + kRemoteStatusDiscOffset);
    status.track = ReadRemoteInt(bytes + kRemoteStatusTrackOffset);
    status.index = ReadRemoteInt(bytes + kRemoteStatusIndexOffset);
    status.trackSeconds = ReadRemoteInt(bytes + kRemoteStatusTrackTimeOffset);
    status.discSeconds = ReadRemoteInt(bytes + kRemoteStatusDiscTimeOffset);
    status.autopause = ReadRemoteInt(bytes + kRemoteStatusAutopauseOffset);
    status.playlistPos = ReadRemoteInt(bytes + kRemoteStatusPlaylistPosOffset);
    status.playlistCount = ReadRemoteInt(bytes + kRemoteStatusPlaylistCountOffset);
    status.nextDisc = ReadRemoteInt(bytes + kRemoteStatusNextDiscOffset);
    status.nextTrack = ReadRemoteInt(bytes + kRemoteStatusNextTrackOffset);
    status.answering = ReadRemoteInt(bytes + kRemoteStatusAnsweringOffset);
    status.sinceAnswerMs = ReadRemoteInt(bytes + kRemoteStatusSinceOffset);
    return status;
}

std::string DecodeRemoteText(const unsigned char* field) {
    return GetText(field, kRemoteTextSize);
}

void EncodeRemoteSlot(const RemoteSlotRecord& slot, unsigned char* out) {
    std::memset(out, 0, kRemoteSlotSize);
    if (!slot.present) {
        return;
    }
    WriteRemoteInt(out + kRemoteSlotPresentOffset, 1);
    PutText(out + kRemoteSlotIdOffset, kRemoteSlotIdSize, slot.id);
    WriteRemoteInt(out + kRemoteSlotFirstTrackOffset, slot.firstTrack);
    WriteRemoteInt(out + kRemoteSlotTrackCountOffset, slot.trackCount);
    WriteRemoteInt(out + kRemoteSlotDiscTimeOffset, slot.discSeconds);
    PutText(out + kRemoteSlotArtistOffset, kRemoteTextSize, slot.artist);
    PutText(out + kRemoteSlotTitleOffset, kRemoteTextSize, slot.title);
}

RemoteSlotRecord DecodeRemoteSlot(const unsigned char* bytes) {
    RemoteSlotRecord slot;
    slot.present = ReadRemoteInt(bytes + kRemoteSlotPresentOffset) != 0;
    slot.id = GetText(bytes + kRemoteSlotIdOffset, kRemoteSlotIdSize);
    slot.firstTrack = ReadRemoteInt(bytes + kRemoteSlotFirstTrackOffset);
    slot.trackCount = ReadRemoteInt(bytes + kRemoteSlotTrackCountOffset);
    slot.discSeconds = ReadRemoteInt(bytes + kRemoteSlotDiscTimeOffset);
    slot.artist = GetText(bytes + kRemoteSlotArtistOffset, kRemoteTextSize);
    slot.title = GetText(bytes + kRemoteSlotTitleOffset, kRemoteTextSize);
    return slot;
}
