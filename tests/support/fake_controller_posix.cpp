// zubweb's stand-in for the controller's remote port.
#include "tests/support/fake_controller_posix.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "protocol/remote_names.h"
#include "protocol/remote_protocol.h"
#include "protocol/remote_records.h"

namespace {

bool SendAll(int fd, const unsigned char* bytes, size_t count) {
    while (count > 0) {
        ssize_t sent = ::send(fd, bytes, count, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        bytes += sent;
        count -= static_cast<size_t>(sent);
    }
    return true;
}

}  // namespace

FakeController::FakeController(int periodMs, Clock::time_point phase)
    : period_(std::chrono::milliseconds(periodMs)), phase_(phase), nextFrom_(phase) {}

FakeController::~FakeController() {
    Stop();
}

uint16_t FakeController::Start() {
    int listening = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listening < 0 || ::bind(listening, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listening, 16) != 0 ||
        ::getsockname(listening, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (listening >= 0) {
            ::close(listening);
        }
        return 0;
    }
    listening_ = listening;
    acceptThread_ = std::thread([this] { Accept(); });
    return ntohs(address.sin_port);
}

void FakeController::Stop() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            return;
        }
        stopping_ = true;
        // Wakes the blocked accept and receives; the threads close them.
        if (listening_ >= 0) {
            ::shutdown(listening_, SHUT_RDWR);
        }
        for (int fd : connections_) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        threads.swap(serveThreads_);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (listening_ >= 0) {
        ::close(listening_);
        listening_ = -1;
    }
}

// Poll n comes n periods after the phase and a few milliseconds more that
// vary from poll to poll, as the changer's reply time does.
FakeController::Clock::time_point FakeController::PollTime(int64_t n) const {
    int64_t jitterMs = ((n % kJitterSteps + kJitterSteps) * 7919) % kJitterSteps;
    return phase_ + n * period_ + std::chrono::milliseconds(jitterMs);
}

FakeController::Clock::time_point FakeController::LastPoll(Clock::time_point now) const {
    int64_t n = now < phase_ ? -1 : (now - phase_) / period_;
    return PollTime(n) <= now ? PollTime(n) : PollTime(n - 1);
}

FakeController::Clock::time_point FakeController::NextPoll(Clock::time_point now) const {
    int64_t n = now < phase_ ? -1 : (now - phase_) / period_;
    return PollTime(n) > now ? PollTime(n) : PollTime(n + 1);
}

FakeController::Clock::time_point FakeController::PlayAtNextPoll(int32_t disc, int32_t track) {
    std::lock_guard<std::mutex> lock(mutex_);
    Clock::time_point now = Clock::now();
    if (now >= nextFrom_) {
        disc_ = nextDisc_;
        track_ = nextTrack_;
    }
    nextDisc_ = disc;
    nextTrack_ = track;
    nextFrom_ = NextPoll(now);
    return nextFrom_;
}

std::vector<int32_t> FakeController::Commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

bool FakeController::WaitForCommands(size_t count, int limitMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return commanded_.wait_for(lock, std::chrono::milliseconds(limitMs),
                               [&] { return commands_.size() >= count; });
}

void FakeController::Accept() {
    for (;;) {
        int fd = ::accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            if (fd >= 0) {
                ::close(fd);
            }
            return;
        }
        if (fd < 0) {
            continue;
        }
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        connections_.push_back(fd);
        serveThreads_.emplace_back([this, fd] { Serve(fd); });
    }
}

void FakeController::Serve(int fd) {
    unsigned char request[kRemoteRequestSize];
    for (;;) {
        ssize_t got = ::recv(fd, request, sizeof request, 0);
        if (got < 4 || !Answer(fd, request, ReadRemoteInt(request))) {
            break;
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.erase(std::remove(connections_.begin(), connections_.end(), fd),
                       connections_.end());
    ::close(fd);
}

void FakeController::SetDiscs(std::vector<FakeDisc> discs) {
    std::lock_guard<std::mutex> lock(mutex_);
    discs_ = std::move(discs);
}

std::vector<FakeDisc> FakeController::Discs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return discs_;
}

std::vector<std::string> FakeController::Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

namespace {

std::string LowerText(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

}  // namespace

// Answers the names, styles and plays requests from the discs.
bool FakeController::AnswerNames(int fd, const unsigned char* request, int32_t command) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int32_t slot = ReadRemoteInt(request + kRemoteDiscOffset);
    const int32_t track = ReadRemoteInt(request + kRemoteTrackOffset);
    FakeDisc* disc = nullptr;
    for (FakeDisc& each : discs_) {
        if (each.slot == slot) {
            disc = &each;
        }
    }
    if (command == REMOTE_TRACKS) {
        RemoteTracksRecord tracks;
        tracks.slot = slot;
        if (disc != nullptr) {
            tracks.firstTrack = 1;
            tracks.style = disc->style;
            for (size_t i = 0; i < disc->tracks.size(); ++i) {
                const FakeTrack& each = disc->tracks[i];
                tracks.tracks.push_back(
                    {static_cast<int32_t>(i + 1), each.plays, each.title, each.style});
            }
        }
        std::vector<unsigned char> reply(kRemoteTracksSize);
        EncodeRemoteTracks(tracks, reply.data());
        return SendAll(fd, reply.data(), reply.size());
    }
    if (command == REMOTE_HISTORY) {
        // Every played track, once, played at 1000000 + its play count.
        RemoteHistoryRecord history;
        for (const FakeDisc& each : discs_) {
            for (size_t i = 0; i < each.tracks.size(); ++i) {
                if (each.tracks[i].plays > 0 &&
                    history.recent.size() < static_cast<size_t>(kRemoteHistoryEntries)) {
                    RemotePlayRecord play;
                    play.slot = each.slot;
                    play.track = static_cast<int32_t>(i + 1);
                    play.plays = each.tracks[i].plays;
                    play.playedAt = 1000000 + play.plays;
                    play.title = each.tracks[i].title;
                    play.style = each.tracks[i].style;
                    history.recent.push_back(play);
                }
            }
        }
        history.mostPlayed = history.recent;
        std::vector<unsigned char> reply(kRemoteHistorySize);
        EncodeRemoteHistory(history, reply.data());
        return SendAll(fd, reply.data(), reply.size());
    }
    std::string text;
    DecodeRemoteRequestText(request, &text);
    commands_.push_back(command);
    texts_.push_back(text);
    commanded_.notify_all();
    RemoteAnswerRecord answer;
    bool onDisc =
        disc != nullptr && track >= 1 && track <= static_cast<int32_t>(disc->tracks.size());
    if (command == REMOTE_STYLE_SHUFFLE) {
        for (const FakeDisc& each : discs_) {
            for (const FakeTrack& one : each.tracks) {
                const std::string& style = one.style.empty() ? each.style : one.style;
                answer.value += LowerText(style) == LowerText(text) ? 1 : 0;
            }
        }
    } else if (disc == nullptr) {
        answer.result = RemoteAnswerRefused;
        answer.message = "slot " + std::to_string(slot) + " is empty";
    } else if (command == REMOTE_SET_ARTIST) {
        disc->artist = text;
    } else if (command == REMOTE_SET_TITLE) {
        disc->title = text;
    } else if (command == REMOTE_SET_DISC_STYLE) {
        disc->style = text;
    } else if (!onDisc) {
        answer.result = RemoteAnswerRefused;
        answer.message = "no track " + std::to_string(track);
    } else if (command == REMOTE_SET_TRACK_TITLE) {
        disc->tracks[track - 1].title = text;
    } else {
        disc->tracks[track - 1].style = text;
    }
    unsigned char reply[kRemoteAnswerSize];
    EncodeRemoteAnswer(answer, reply);
    return SendAll(fd, reply, sizeof reply);
}

// Answers one request; false when the connection failed.
bool FakeController::Answer(int fd, const unsigned char* request, int32_t command) {
    if (command == REMOTE_TRACKS || command == REMOTE_HISTORY || IsRemoteTextRequest(command)) {
        return AnswerNames(fd, request, command);
    }
    Clock::time_point now = Clock::now();
    RemoteStatusRecord status;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        bool moved = now >= nextFrom_;
        status.disc = moved ? nextDisc_ : disc_;
        status.track = moved ? nextTrack_ : track_;
    }
    if (command == REMOTE_STATUS) {
        status.code = "PL";
        status.text = "play";
        status.index = 1;
        status.answering = 1;
        status.sinceAnswerMs = static_cast<int32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now - LastPoll(now)).count());
        unsigned char reply[kRemoteStatusSize];
        EncodeRemoteStatus(status, reply);
        return SendAll(fd, reply, sizeof reply);
    }
    if (command == REMOTE_INFO) {
        unsigned char reply[kRemoteInfoSize] = {};
        WriteRemoteInt(reply, status.disc);
        WriteRemoteInt(reply + 4, status.track);
        std::string artist = "Artist " + std::to_string(status.disc);
        artist.copy(reinterpret_cast<char*>(reply + kRemoteArtistOffset), kRemoteTextSize - 1);
        return SendAll(fd, reply, sizeof reply);
    }
    if (command == REMOTE_MAGAZINE) {
        std::vector<unsigned char> magazine(kRemoteMagazineSize, 0);
        std::lock_guard<std::mutex> lock(mutex_);
        for (const FakeDisc& disc : discs_) {
            RemoteSlotRecord slot;
            slot.present = true;
            slot.id = "ID" + std::to_string(disc.slot);
            slot.firstTrack = disc.tracks.empty() ? 0 : 1;
            slot.trackCount = static_cast<int32_t>(disc.tracks.size());
            slot.artist = disc.artist;
            slot.title = disc.title;
            EncodeRemoteSlot(slot, magazine.data() + (disc.slot - 1) * kRemoteSlotSize);
        }
        return SendAll(fd, magazine.data(), magazine.size());
    }
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(command);
    commanded_.notify_all();
    return true;
}
