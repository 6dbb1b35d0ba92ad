// The checks of names, slots and tracks.
#include "protocol/remote_name_check.h"

#include <vector>

#include "base/changer_facts.h"
#include "base/utf8_text.h"
#include "protocol/remote_names.h"

namespace {

bool IsControl(uint32_t point) {
    return point < 0x20 || (point >= 0x7F && point <= 0x9F);
}

}  // namespace

const char* RemoteNameKindText(RemoteNameKind kind) {
    switch (kind) {
        case NameArtist:
            return "artist";
        case NameDiscTitle:
            return "title";
        case NameTrackTitle:
            return "track title";
        default:
            return "style";
    }
}

std::string CheckRemoteName(RemoteNameKind kind, const std::string& text) {
    std::string field = RemoteNameKindText(kind);
    size_t limit = kind == NameStyle ? kRemoteStyleLimit : kRemoteNameLimit;
    if (text.size() > limit) {
        return "the " + field + " is " + std::to_string(text.size()) + " bytes long; at most " +
               std::to_string(limit) + " are allowed";
    }
    std::vector<uint32_t> points;
    if (!DecodeUtf8(text, &points)) {
        return "the " + field + " is not UTF-8 text";
    }
    for (uint32_t point : points) {
        if (point == '\t') {
            return "the " + field + " holds a TAB";
        }
        if (point == '\r' || point == '\n') {
            return "the " + field + " holds a line break";
        }
        if (IsControl(point)) {
            return "the " + field + " holds a control character";
        }
        if (point == '"' && (kind == NameArtist || kind == NameDiscTitle)) {
            return "the " + field + " holds a double quote, which the catalogue drops";
        }
    }
    return "";
}

std::string CheckRemoteSlot(int64_t slot) {
    if (slot < 1 || slot > kSlotCount) {
        return "slot " + std::to_string(slot) + " does not exist (slots are 1.." +
               std::to_string(kSlotCount) + ")";
    }
    return "";
}

std::string CheckRemoteTrackNumber(int64_t track) {
    if (track < 1 || track > kLargestTrack) {
        return "track " + std::to_string(track) + " does not exist (tracks are 1.." +
               std::to_string(kLargestTrack) + ")";
    }
    return "";
}

std::string CheckTrackOnDisc(int64_t slot, int64_t track, int first, int count) {
    std::string problem = CheckRemoteSlot(slot);
    if (problem.empty()) {
        problem = CheckRemoteTrackNumber(track);
    }
    if (!problem.empty()) {
        return problem;
    }
    if (count <= 0) {
        return "slot " + std::to_string(slot) + " holds no disc with tracks";
    }
    if (track < first || track > first + count - 1) {
        return "the disc in slot " + std::to_string(slot) + " has no track " +
               std::to_string(track) + " (its tracks are " + std::to_string(first) + "-" +
               std::to_string(first + count - 1) + ")";
    }
    return "";
}
