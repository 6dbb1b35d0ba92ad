// Byte layouts of the status and magazine replies.
#include "protocol/remote_records.h"

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

namespace {

// The status record's 32-bit fields and their offsets: one table for both
// directions.
struct StatusIntField {
    int offset;
    int32_t RemoteStatusRecord::*member;
};
const StatusIntField kStatusIntFields[] = {
    {kRemoteStatusModeOffset, &RemoteStatusRecord::mode},
    {kRemoteStatusDiscOffset, &RemoteStatusRecord::disc},
    {kRemoteStatusTrackOffset, &RemoteStatusRecord::track},
    {kRemoteStatusIndexOffset, &RemoteStatusRecord::index},
    {kRemoteStatusTrackTimeOffset, &RemoteStatusRecord::trackSeconds},
    {kRemoteStatusDiscTimeOffset, &RemoteStatusRecord::discSeconds},
    {kRemoteStatusAutopauseOffset, &RemoteStatusRecord::autopause},
    {kRemoteStatusPlaylistPosOffset, &RemoteStatusRecord::playlistPos},
    {kRemoteStatusPlaylistCountOffset, &RemoteStatusRecord::playlistCount},
    {kRemoteStatusNextDiscOffset, &RemoteStatusRecord::nextDisc},
    {kRemoteStatusNextTrackOffset, &RemoteStatusRecord::nextTrack},
    {kRemoteStatusAnsweringOffset, &RemoteStatusRecord::answering},
    {kRemoteStatusSinceOffset, &RemoteStatusRecord::sinceAnswerMs},
    {kRemoteStatusScanningOffset, &RemoteStatusRecord::scanning},
    {kRemoteStatusScanSlotOffset, &RemoteStatusRecord::scanSlot},
    {kRemoteStatusScanLastOffset, &RemoteStatusRecord::scanLastSlot},
    {kRemoteStatusGenerationOffset, &RemoteStatusRecord::magazineGeneration},
};

}  // namespace

void EncodeRemoteStatus(const RemoteStatusRecord& status, unsigned char* out) {
    std::memset(out, 0, kRemoteStatusSize);
    PutText(out + kRemoteStatusCodeOffset, 3, status.code);
    PutText(out + kRemoteStatusTextOffset, kRemoteStatusTextSize, status.text);
    for (const StatusIntField& field : kStatusIntFields) {
        WriteRemoteInt(out + field.offset, status.*field.member);
    }
}

RemoteStatusRecord DecodeRemoteStatus(const unsigned char* bytes, int size) {
    RemoteStatusRecord status;
    status.code = GetText(bytes + kRemoteStatusCodeOffset, 2);
    status.text = GetText(bytes + kRemoteStatusTextOffset, kRemoteStatusTextSize);
    for (const StatusIntField& field : kStatusIntFields) {
        if (field.offset + 4 <= size) {
            status.*field.member = ReadRemoteInt(bytes + field.offset);
        }
    }
    return status;
}

void EncodeRemoteText(const std::string& text, unsigned char* field) {
    PutText(field, kRemoteTextSize, text);
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
