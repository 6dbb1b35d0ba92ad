// POSIX serial line over termios, used natively against the simulator's pty.
#include "link/serial_line_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace {

class PosixSerialLine : public SerialLine {
public:
    PosixSerialLine(int fd, int timeoutMs) : fd_(fd), timeoutMs_(timeoutMs) {}
    ~PosixSerialLine() override { close(fd_); }

    int Write(const unsigned char* bytes, int count) override {
        int written = 0;
        while (written < count) {
            ssize_t n = write(fd_, bytes + written, count - written);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            written += static_cast<int>(n);
        }
        return written;
    }

    bool ReadByte(unsigned char& byte) override {
        pollfd waitFor{fd_, POLLIN, 0};
        for (;;) {
            int ready = poll(&waitFor, 1, timeoutMs_);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready <= 0 || !(waitFor.revents & POLLIN)) {
                return false;
            }
            ssize_t n = read(fd_, &byte, 1);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            return n == 1;
        }
    }

    void DiscardInput() override { tcflush(fd_, TCIFLUSH); }

private:
    int fd_;
    int timeoutMs_;
};

}  // namespace

std::unique_ptr<SerialLine> OpenPosixSerialLine(const char* path, int timeoutMs) {
    int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        close(fd);
        return nullptr;
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
        return nullptr;
    }
    return std::make_unique<PosixSerialLine>(fd, timeoutMs);
}
