// POSIX serial line over termios, used natively against the simulator's pty.
#include "link/serial_line_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/deadline.h"

namespace {

// Opens path and sets it raw, 9600 8N1. Returns the descriptor, or -1.
int OpenConfiguredDevice(const char* path) {
    int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        close(fd);
        return -1;
    }
    // Raw 8-bit line without software flow control: the changer's frames
    // carry STX/ETX control bytes that must pass untouched.
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// A device that fails hard (a pty whose other end closed, an adapter pulled
// out) is closed; the next write opens the same path again and retries once.
// Until then reads find nothing at once.
class PosixSerialLine : public SerialLine {
public:
    PosixSerialLine(const char* path, int fd, int timeoutMs)
        : path_(path), fd_(fd), timeoutMs_(timeoutMs) {}
    ~PosixSerialLine() override { CloseDevice(); }

    int Write(const unsigned char* bytes, int count) override {
        if (fd_ < 0 && !Reopen()) {
            return 0;
        }
        int written = WriteAll(bytes, count);
        if (written >= 0) {
            return written;
        }
        CloseDevice();
        if (!Reopen()) {
            return 0;
        }
        written = WriteAll(bytes, count);
        if (written < 0) {
            CloseDevice();
            return 0;
        }
        return written;
    }

    bool ReadByte(unsigned char& byte) override {
        int waitMs = limitMs_ > 0 && limitMs_ < timeoutMs_ ? limitMs_ : timeoutMs_;
        for (;;) {
            int ready = WaitForInput(waitMs);
            if (ready <= 0) {
                return false;
            }
            ssize_t n = read(fd_, &byte, 1);
            if (n == 1) {
                return true;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            CloseDevice();  // end of file or an error: the device has gone
            return false;
        }
    }

    void LimitFirstByteWait(int limitMs) override { limitMs_ = limitMs; }

    void DiscardInput() override {
        if (fd_ >= 0 && tcflush(fd_, TCIFLUSH) != 0) {
            CloseDevice();
        }
    }

    void DrainInput(int quietMs, int limitMs) override {
        Deadline deadline(limitMs);
        DiscardInput();
        while (fd_ >= 0) {
            int left = deadline.LeftMs();
            if (left <= 0) {
                return;
            }
            int wait = left < quietMs ? left : quietMs;
            if (WaitForInput(wait) <= 0) {
                return;
            }
            unsigned char dropped[64];
            ssize_t n = read(fd_, dropped, sizeof dropped);
            if (n <= 0 && !(n < 0 && (errno == EINTR || errno == EAGAIN))) {
                CloseDevice();
            }
        }
    }

private:
    // All bytes, or -1 on a hard error.
    int WriteAll(const unsigned char* bytes, int count) {
        int written = 0;
        while (written < count) {
            ssize_t n = write(fd_, bytes + written, count - written);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return -1;
            }
            if (n == 0) {
                break;
            }
            written += static_cast<int>(n);
        }
        return written;
    }

    // 1 when a byte can be read, 0 after waitMs without one, -1 when the
    // device is closed or has just failed (it is closed then).
    int WaitForInput(int waitMs) {
        if (fd_ < 0) {
            return -1;
        }
        pollfd waitFor{fd_, POLLIN, 0};
        for (;;) {
            int ready = poll(&waitFor, 1, waitMs);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready == 0) {
                return 0;
            }
            if (ready < 0 || !(waitFor.revents & POLLIN)) {
                CloseDevice();  // hung up or in error, nothing left to read
                return -1;
            }
            return 1;
        }
    }

    bool Reopen() {
        fd_ = OpenConfiguredDevice(path_.c_str());
        return fd_ >= 0;
    }

    void CloseDevice() {
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }

    std::string path_;
    int fd_;
    int timeoutMs_;
    int limitMs_ = 0;  // 0: no cap below timeoutMs_
};

}  // namespace

std::unique_ptr<SerialLine> OpenPosixSerialLine(const char* path, int timeoutMs) {
    int fd = OpenConfiguredDevice(path);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<PosixSerialLine>(path, fd, timeoutMs);
}
