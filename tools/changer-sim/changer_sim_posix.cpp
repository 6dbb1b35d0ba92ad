// The simulated changer's pty, serving thread, faults, pacing and frame log.
#include "tools/changer-sim/changer_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

bool Fail(std::string* error, const std::string& what) {
    if (error != nullptr) {
        *error = what + ": " + std::strerror(errno);
    }
    return false;
}

// Printable ASCII as is, every other byte as \xNN.
std::string EscapeBytes(const std::string& bytes) {
    std::string text;
    for (unsigned char byte : bytes) {
        if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
            text.push_back(static_cast<char>(byte));
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            text += escaped;
        }
    }
    return text;
}

}  // namespace

ChangerSim::ChangerSim(ChangerSimOptions options)
    : options_(std::move(options)),
      garbageRandom_(options_.garbageSeed),
      changer_(options_.magazine),
      speed_(options_.speed > 0 ? options_.speed : 1.0) {}

ChangerSim::~ChangerSim() {
    Stop();
}

bool ChangerSim::Start(std::string* error) {
    if (masterFd_ >= 0 || thread_.joinable()) {
        errno = EBUSY;
        return Fail(error, "already started");
    }
    masterFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd_ < 0) {
        return Fail(error, "posix_openpt");
    }
    char name[128];
    if (grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0 ||
        ptsname_r(masterFd_, name, sizeof name) != 0) {
        bool result = Fail(error, "pty set-up");
        CloseAll();
        return result;
    }
    slavePath_ = name;
    slaveFd_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd_ < 0) {
        bool result = Fail(error, "open " + slavePath_);
        CloseAll();
        return result;
    }
    // Raw, no echo: the frames' control bytes pass untouched, and replies
    // written to the master are not echoed back into our own input.
    termios settings{};
    if (tcgetattr(slaveFd_, &settings) == 0) {
        cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        settings.c_iflag &= ~(IXON | IXOFF | IXANY);
        cfsetispeed(&settings, B9600);
        cfsetospeed(&settings, B9600);
        tcsetattr(slaveFd_, TCSANOW, &settings);
    }
    // Non-blocking master: a client that never reads cannot wedge Stop().
    fcntl(masterFd_, F_SETFL, fcntl(masterFd_, F_GETFL) | O_NONBLOCK);
    if (pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) {
        bool result = Fail(error, "pipe");
        CloseAll();
        return result;
    }
    if (!options_.logPath.empty()) {
        logFile_ = std::fopen(options_.logPath.c_str(), "w");
        if (logFile_ == nullptr) {
            bool result = Fail(error, "open log " + options_.logPath);
            CloseAll();
            return result;
        }
    }
    if (!options_.linkPath.empty()) {
        struct stat existing;
        if (lstat(options_.linkPath.c_str(), &existing) == 0) {
            // Replace an old link, never a real file.
            if (!S_ISLNK(existing.st_mode)) {
                errno = EEXIST;
                bool result = Fail(error, "link " + options_.linkPath);
                CloseAll();
                return result;
            }
            unlink(options_.linkPath.c_str());
        }
        if (symlink(slavePath_.c_str(), options_.linkPath.c_str()) != 0) {
            bool result = Fail(error, "link " + options_.linkPath);
            CloseAll();
            return result;
        }
        linkMade_ = true;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        startTime_ = Clock::now();
        realAnchor_ = startTime_;
        stopping_ = false;
    }
    thread_ = std::thread(&ChangerSim::Serve, this);
    return true;
}

void ChangerSim::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (wakeFds_[1] >= 0) {
        char wake = 1;
        ssize_t ignored = write(wakeFds_[1], &wake, 1);
        (void)ignored;
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    CloseAll();
}

void ChangerSim::CloseAll() {
    if (linkMade_) {
        // Only our own link: another run may have taken the path over.
        char target[256];
        ssize_t length = readlink(options_.linkPath.c_str(), target, sizeof target - 1);
        if (length > 0) {
            target[length] = 0;
            if (slavePath_ == target) {
                unlink(options_.linkPath.c_str());
            }
        }
        linkMade_ = false;
    }
    for (int* fd : {&masterFd_, &slaveFd_, &wakeFds_[0], &wakeFds_[1]}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
    if (logFile_ != nullptr) {
        std::fclose(logFile_);
        logFile_ = nullptr;
    }
}

void ChangerSim::SetFault(SimFault fault, int lateMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    fault_ = fault;
    lateMs_ = lateMs > 0 ? lateMs : 0;
    changer_.SetLoaderError(fault == SimFault::LoaderError);
}

void ChangerSim::SetSpeed(double speed) {
    if (!(speed > 0)) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    SyncClockLocked();
    realAnchor_ = Clock::now();
    simulatedAnchorMs_ = changerMs_ - manualMs_;
    speed_ = speed;
}

void ChangerSim::AdvanceTime(double seconds) {
    if (!(seconds > 0)) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    manualMs_ += static_cast<int64_t>(seconds * 1000 + 0.5);
    SyncClockLocked();
}

void ChangerSim::RemoveDisc(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    changer_.RemoveDisc(slot);
}

void ChangerSim::InsertDisc(int slot, const SimDisc& disc) {
    std::lock_guard<std::mutex> lock(mutex_);
    changer_.InsertDisc(slot, disc);
}

std::string ChangerSim::StatusPayload() {
    std::lock_guard<std::mutex> lock(mutex_);
    SyncClockLocked();
    return changer_.StatusPayload();
}

std::vector<SimFrameRecord> ChangerSim::Frames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

bool ChangerSim::WaitForFrames(const FramePredicate& done, int limitMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(limitMs),
                             [&] { return done(frames_); });
}

bool ChangerSim::WaitForSlaveInput(int limitMs) const {
    if (slaveFd_ < 0) {
        return false;
    }
    pollfd waitFor{slaveFd_, POLLIN, 0};
    return poll(&waitFor, 1, limitMs) == 1 && (waitFor.revents & POLLIN);
}

// Simulated time = manual advances + (real time since the anchor) x speed;
// the real part stays 0 with the manual clock.
int64_t ChangerSim::SimulatedNowMsLocked() const {
    int64_t simulated = manualMs_;
    if (!options_.manualClock) {
        double realMs =
            std::chrono::duration<double, std::milli>(Clock::now() - realAnchor_).count();
        simulated += simulatedAnchorMs_ + static_cast<int64_t>(realMs * speed_);
    }
    return simulated;
}

void ChangerSim::SyncClockLocked() {
    int64_t now = SimulatedNowMsLocked();
    if (now > changerMs_) {
        changer_.Advance(now - changerMs_);
        changerMs_ = now;
    }
}

void ChangerSim::Serve() {
    SimFrameParser parser;
    unsigned char buffer[256];
    for (;;) {
        pollfd waitFor[2] = {{masterFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        int ready = poll(waitFor, 2, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || waitFor[1].revents != 0) {
            return;
        }
        if (waitFor[0].revents & (POLLERR | POLLNVAL)) {
            return;
        }
        ssize_t count = read(masterFd_, buffer, sizeof buffer);
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (count <= 0) {
            return;
        }
        for (ssize_t i = 0; i < count; ++i) {
            SimCommandFrame frame;
            if (parser.Feed(buffer[i], frame)) {
                HandleFrame(frame);
            }
        }
    }
}

void ChangerSim::HandleFrame(const SimCommandFrame& frame) {
    Clock::time_point received = Clock::now();
    SimFrameRecord record;
    record.bad = frame.bad;
    record.command = frame.command;
    record.argument = frame.bad ? frame.raw : frame.argument;

    size_t index;
    SimFault fault;
    int lateMs;
    std::string reply;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            return;
        }
        record.time = std::chrono::duration<double>(received - startTime_).count();
        index = frames_.size();
        frames_.push_back(record);
        LogFrameLocked(record, frame.raw);
        fault = fault_;
        lateMs = lateMs_;
        if (!frame.bad && fault != SimFault::Silent && fault != SimFault::Garbage) {
            SyncClockLocked();
            SimReply answer = changer_.Execute(frame.command, frame.argument);
            reply = BuildSimReply(frame.command, answer.result, answer.payload);
        }
    }
    changed_.notify_all();
    if (frame.bad || fault == SimFault::Silent) {
        return;
    }
    if (fault == SimFault::Garbage) {
        reply = GarbageBytes();
    } else if (fault == SimFault::Overlong) {
        // The proper header, then filler up to 60 bytes: no ETX anywhere.
        reply.pop_back();
        reply.resize(kSimMaxFrameBytes, '#');
    }

    Clock::time_point due = received;
    if (frame.command == SimLoad && options_.loadDelayMs > 0) {
        due += std::chrono::milliseconds(options_.loadDelayMs);
    }
    if (fault == SimFault::Late) {
        due += std::chrono::milliseconds(lateMs);
    }
    bool written;
    if (options_.baud > 0) {
        // The command frame's own time on the line comes first.
        due += std::chrono::microseconds(static_cast<int64_t>(frame.raw.size()) * 10 * 1000000 /
                                         options_.baud);
        written = SleepUntil(due) && WritePaced(reply, due);
    } else {
        written = SleepUntil(due) && WriteAll(reply);
    }
    if (!written) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        frames_[index].answered = true;
        frames_[index].reply = reply;
    }
    changed_.notify_all();
}

// 5..40 random bytes, none a digit, STX or ETX; half of them end in ETX.
std::string ChangerSim::GarbageBytes() {
    std::uniform_int_distribution<int> lengthOf(5, 40);
    std::uniform_int_distribution<int> byteOf(0, 255);
    std::string bytes;
    int length = lengthOf(garbageRandom_);
    while (static_cast<int>(bytes.size()) < length) {
        int byte = byteOf(garbageRandom_);
        if (byte == kSimStx || byte == kSimEtx || (byte >= '0' && byte <= '9')) {
            continue;
        }
        bytes.push_back(static_cast<char>(byte));
    }
    if (byteOf(garbageRandom_) & 1) {
        bytes.push_back(static_cast<char>(kSimEtx));
    }
    return bytes;
}

void ChangerSim::LogFrameLocked(const SimFrameRecord& record, const std::string& raw) {
    if (logFile_ == nullptr) {
        return;
    }
    if (record.bad) {
        std::fprintf(logFile_, "%.3f -- BAD %s\n", record.time, EscapeBytes(raw).c_str());
    } else {
        std::fprintf(logFile_, "%.3f %02d %s %s\n", record.time, record.command,
                     SimCommandName(record.command).c_str(), EscapeBytes(record.argument).c_str());
    }
    std::fflush(logFile_);
}

bool ChangerSim::SleepUntil(Clock::time_point until) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !changed_.wait_until(lock, until, [&] { return stopping_; });
}

bool ChangerSim::WriteAll(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t count = write(masterFd_, bytes.data() + done, bytes.size() - done);
        if (count > 0) {
            done += static_cast<size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno != EAGAIN) {
            return false;
        }
        // The slave's input is full: wait for room, or for Stop.
        pollfd waitFor[2] = {{masterFd_, POLLOUT, 0}, {wakeFds_[0], POLLIN, 0}};
        if (poll(waitFor, 2, -1) < 0 && errno != EINTR) {
            return false;
        }
        if (waitFor[1].revents != 0) {
            return false;
        }
    }
    return true;
}

// Byte by byte at 10 bits per byte, each byte at its own due time.
bool ChangerSim::WritePaced(const std::string& bytes, Clock::time_point start) {
    auto byteTime = std::chrono::microseconds(10 * 1000000 / options_.baud);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (!SleepUntil(start + byteTime * static_cast<int>(i + 1)) ||
            !WriteAll(bytes.substr(i, 1))) {
            return false;
        }
    }
    return true;
}
