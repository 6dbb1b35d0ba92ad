// Byte layouts of the status and magazine replies.
#include "protocol/remote_records.h"

#include <cstring>

#include "protocol/remote_text_field.h"

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
    WriteRemoteText(out + kRemoteStatusCodeOffset, 3, status.code);
    WriteRemoteText(out + kRemoteStatusTextOffset, kRemoteStatusTextSize, status.text);
    for (const StatusIntField& field : kStatusIntFields) {
        WriteRemoteInt(out + field.offset, status.*field.member);
    }
}

RemoteStatusRecord DecodeRemoteStatus(const unsigned char* bytes, int size) {
    RemoteStatusRecord status;
    status.code = ReadRemoteText(bytes + kRemoteStatusCodeOffset, 2);
    status.text = ReadRemoteText(bytes + kRemoteStatusTextOffset, kRemoteStatusTextSize);
    for (const StatusIntField& field : kStatusIntFields) {
        if (field.offset + 4 <= size) {
            status.*field.member = ReadRemoteInt(bytes + field.offset);
        }
    }
    return status;
}

void EncodeRemoteText(const std::string& text, unsigned char* field) {
    WriteRemoteText(field, kRemoteTextSize, text);
}

std::string DecodeRemoteText(const unsigned char* field) {
    return ReadRemoteText(field, kRemoteTextSize);
}

void EncodeRemoteSlot(const RemoteSlotRecord& slot, unsigned char* out) {
    std::memset(out, 0, kRemoteSlotSize);
    if (!slot.present) {
        return;
    }
    WriteRemoteInt(out + kRemoteSlotPresentOffset, 1);
    WriteRemoteText(out + kRemoteSlotIdOffset, kRemoteSlotIdSize, slot.id);
    WriteRemoteInt(out + kRemoteSlotFirstTrackOffset, slot.firstTrack);
    WriteRemoteInt(out + kRemoteSlotTrackCountOffset, slot.trackCount);
    WriteRemoteInt(out + kRemoteSlotDiscTimeOffset, slot.discSeconds);
    WriteRemoteText(out + kRemoteSlotArtistOffset, kRemoteTextSize, slot.artist);
    WriteRemoteText(out + kRemoteSlotTitleOffset, kRemoteTextSize, slot.title);
}

RemoteSlotRecord DecodeRemoteSlot(const unsigned char* bytes) {
    RemoteSlotRecord slot;
    slot.present = ReadRemoteInt(bytes + kRemoteSlotPresentOffset) != 0;
    slot.id = ReadRemoteText(bytes + kRemoteSlotIdOffset, kRemoteSlotIdSize);
    slot.firstTrack = ReadRemoteInt(bytes + kRemoteSlotFirstTrackOffset);
    slot.trackCount = ReadRemoteInt(bytes + kRemoteSlotTrackCountOffset);
    slot.discSeconds = ReadRemoteInt(bytes + kRemoteSlotDiscTimeOffset);
    slot.artist = ReadRemoteText(bytes + kRemoteSlotArtistOffset, kRemoteTextSize);
    slot.title = ReadRemoteText(bytes + kRemoteSlotTitleOffset, kRemoteTextSize);
    return slot;
}
