// The benchmarks' stand-in for the controller's remote port.
#include "bench/fake_controller_posix.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

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

uint16_t FakeController::Start() {
    int listening = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listening < 0 || ::bind(listening, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listening, 16) != 0 ||
        ::getsockname(listening, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 0;
    }
    std::thread([this, listening] { Accept(listening); }).detach();
    return ntohs(address.sin_port);
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

void FakeController::Accept(int listening) {
    for (;;) {
        int fd = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::thread([this, fd] { Serve(fd); }).detach();
    }
}

void FakeController::Serve(int fd) {
    std::vector<unsigned char> magazine(kRemoteMagazineSize, 0);
    unsigned char request[kRemoteRequestSize];
    for (;;) {
        ssize_t got = ::recv(fd, request, sizeof request, 0);
        if (got < 4) {
            ::close(fd);
            return;
        }
        int32_t command = ReadRemoteInt(request);
        Clock::time_point now = Clock::now();
        RemoteStatusRecord status;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            bool moved = now >= nextFrom_;
            status.disc = moved ? nextDisc_ : disc_;
            status.track = moved ? nextTrack_ : track_;
        }
        bool sent = true;
        if (command == REMOTE_STATUS) {
            status.mode = 0;
            status.code = "PL";
            status.text = "play";
            status.index = 1;
            status.answering = 1;
            status.sinceAnswerMs = static_cast<int32_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(now - LastPoll(now)).count());
            unsigned char reply[kRemoteStatusSize];
            EncodeRemoteStatus(status, reply);
            sent = SendAll(fd, reply, sizeof reply);
        } else if (command == REMOTE_INFO) {
            unsigned char reply[kRemoteInfoSize] = {};
            WriteRemoteInt(reply, status.disc);
            WriteRemoteInt(reply + 4, status.track);
            std::string artist = "Artist " + std::to_string(status.disc);
            artist.copy(reinterpret_cast<char*>(reply + kRemoteArtistOffset), kRemoteTextSize - 1);
            sent = SendAll(fd, reply, sizeof reply);
        } else if (command == REMOTE_MAGAZINE) {
            sent = SendAll(fd, magazine.data(), magazine.size());
        }
        if (!sent) {
            ::close(fd);
            return;
        }
    }
}
