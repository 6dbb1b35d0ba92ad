// Command handling, status reply and play clock of the simulated changer.
#include "tools/changer-sim/sim_changer.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

// "Ann" with two decimal digits; anything else is a bad argument.
bool ParseNumberArgument(const std::string& argument, int& number) {
    if (argument.size() != 3 || argument[0] != 'A' || argument[1] < '0' || argument[1] > '9' ||
        argument[2] < '0' || argument[2] > '9') {
        return false;
    }
    number = (argument[1] - '0') * 10 + (argument[2] - '0');
    return true;
}

// MMSS of whole seconds; minutes beyond 99 show as 99.
std::string FormatMinSec(int64_t milliseconds) {
    int64_t seconds = std::max<int64_t>(0, milliseconds / 1000);
    int minutes = static_cast<int>(std::min<int64_t>(99, seconds / 60));
    char text[8];
    std::snprintf(text, sizeof text, "%02d%02d", minutes, static_cast<int>(seconds % 60));
    return text;
}

std::string TwoDigits(int value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02d", value % 100);
    return text;
}

SimReply Result(int result) {
    SimReply reply;
    reply.result = result;
    return reply;
}

}  // namespace

const char* SimStateCode(SimState state) {
    switch (state) {
        case SimState::NoDisc:
            return "LN";
        case SimState::LoaderError:
            return "LE";
        case SimState::StopNoToc:
            return "SN";
        case SimState::StopError:
            return "SE";
        case SimState::StopEndOfDisc:
            return "SD";
        case SimState::Stopped:
            return "ST";
        case SimState::Playing:
            return "PL";
        case SimState::Paused:
            return "PA";
        case SimState::PausedTrackEnd:
            return "PT";
        case SimState::PausedDiscEnd:
            return "PD";
    }
    return "  ";
}

SimChanger::SimChanger(SimMagazine magazine) : magazine_(std::move(magazine)) {}

SimReply SimChanger::Execute(int command, const std::string& argument) {
    bool needsDisc = command == SimTrack || command == SimPause || command == SimPlay ||
                     command == SimDiscId || command == SimToc || command == SimTrackInfo;
    if (needsDisc && loadedSlot_ == 0) {
        return Result(SimNeedsDisc);
    }
    switch (command) {
        case SimLoad:
            return Load(argument);
        case SimStop:
            if (loadedSlot_ != 0) {
                MoveTo(selectedTrack_);
                state_ = SimState::Stopped;
            }
            return Result(SimOk);
        case SimUnload:
            loadedSlot_ = 0;
            state_ = SimState::NoDisc;
            return Result(SimOk);
        case SimTrack:
            return SelectTrack(argument);
        case SimAutopauseOn:
        case SimAutopauseOff:
            autopause_ = command == SimAutopauseOn;
            return Result(SimOk);
        case SimPause:
            return Pause();
        case SimPlay:
            return Play();
        case SimDiscId: {
            SimReply reply;
            std::string id = disc_.id.substr(0, kSimIdLength);
            id.resize(kSimIdLength, ' ');
            reply.payload = "00" + id;
            return reply;
        }
        case SimToc: {
            if (state_ == SimState::StopNoToc) {
                state_ = SimState::Stopped;
            }
            SimReply reply;
            reply.payload = "00" + TwoDigits(disc_.firstTrack) + TwoDigits(disc_.LastTrack()) +
                            FormatMinSec(TrackEndMs(disc_.LastTrack()));
            return reply;
        }
        case SimStatus: {
            SimReply reply;
            reply.payload = StatusPayload();
            return reply;
        }
        case SimTrackInfo:
            return TrackInfo(argument);
    }
    return Result(SimUnknownCode);
}

SimReply SimChanger::Load(const std::string& argument) {
    int number = 0;
    if (!ParseNumberArgument(argument, number)) {
        return Result(SimBadArgument);
    }
    int slot = number == 0 ? 100 : number;
    if (loaderError_) {
        loadedSlot_ = 0;
        state_ = SimState::LoaderError;
        return Result(SimEmptySlot);
    }
    // The disc in the player goes back first, whatever the new slot holds.
    loadedSlot_ = 0;
    state_ = SimState::NoDisc;
    auto found = magazine_.find(slot);
    if (found == magazine_.end()) {
        return Result(SimEmptySlot);
    }
    disc_ = found->second;
    loadedSlot_ = slot;
    lastSlot_ = slot;
    selectedTrack_ = disc_.firstTrack;
    MoveTo(disc_.firstTrack);
    state_ = SimState::StopNoToc;
    return Result(SimOk);
}

SimReply SimChanger::SelectTrack(const std::string& argument) {
    int track = 0;
    if (!ParseNumberArgument(argument, track) || !disc_.HasTrack(track)) {
        return Result(SimBadArgument);
    }
    selectedTrack_ = track;
    MoveTo(track);
    return Result(SimOk);
}

SimReply SimChanger::Pause() {
    if (state_ == SimState::Playing) {
        state_ = SimState::Paused;
    }
    return Result(SimOk);
}

SimReply SimChanger::Play() {
    if (state_ == SimState::Paused || state_ == SimState::PausedTrackEnd) {
        state_ = SimState::Playing;
    } else if (state_ != SimState::Playing) {
        // From a stop, or paused after the last track: start at the selection.
        MoveTo(selectedTrack_);
        state_ = SimState::Playing;
    }
    return Result(SimOk);
}

SimReply SimChanger::TrackInfo(const std::string& argument) {
    int track = 0;
    if (!ParseNumberArgument(argument, track) || !disc_.HasTrack(track)) {
        return Result(SimBadArgument);
    }
    SimReply reply;
    reply.payload =
        TwoDigits(track) + FormatMinSec(TrackStartMs(track)) + FormatMinSec(TrackEndMs(track));
    return reply;
}

void SimChanger::Advance(int64_t milliseconds) {
    while (state_ == SimState::Playing && milliseconds > 0) {
        int64_t left = TrackEndMs(track_) - positionMs_;
        if (milliseconds < left) {
            positionMs_ += milliseconds;
            return;
        }
        milliseconds -= left;
        positionMs_ = TrackEndMs(track_);
        bool last = track_ == disc_.LastTrack();
        if (autopause_) {
            // Paused where the next PLAY carries on with the next track.
            if (last) {
                state_ = SimState::PausedDiscEnd;
            } else {
                ++track_;
                state_ = SimState::PausedTrackEnd;
            }
            return;
        }
        if (last) {
            state_ = SimState::StopEndOfDisc;
            return;
        }
        ++track_;
    }
}

std::string SimChanger::StatusPayload() const {
    std::string payload = SimStateCode(state_);
    payload += autopause_ ? 'S' : 'N';
    payload += ' ';
    int slot = loadedSlot_ != 0 ? loadedSlot_ : lastSlot_;
    payload += TwoDigits(slot == 100 ? 0 : slot);
    if (loadedSlot_ == 0) {
        payload +=
            "00"
            "00"
            "0000"
            "00"
            "0000";
        return payload;
    }
    bool inTrack = state_ == SimState::Playing || state_ == SimState::Paused;
    payload += TwoDigits(track_);
    payload += inTrack ? "01" : "00";
    payload += FormatMinSec(positionMs_ - TrackStartMs(track_));
    payload += "00";
    payload += FormatMinSec(positionMs_);
    return payload;
}

void SimChanger::MoveTo(int track) {
    track_ = track;
    positionMs_ = TrackStartMs(track);
}

int64_t SimChanger::TrackStartMs(int track) const {
    return static_cast<int64_t>(disc_.TrackStart(track)) * 1000;
}

int64_t SimChanger::TrackEndMs(int track) const {
    return static_cast<int64_t>(disc_.TrackEnd(track)) * 1000;
}
