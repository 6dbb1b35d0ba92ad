// The Win32 serial backend and the opening of the changer's port.
#include <windows.h>

#include "link/changer_link.h"
#include "link/changer_port.h"

namespace {

const DWORD kSettlePauseMs = 2000;

// Opens g_portName and applies the line settings; INVALID_HANDLE_VALUE when the
// port cannot be opened or its settings cannot be read.
HANDLE OpenConfiguredPort(COMMTIMEOUTS& timeouts) {
    HANDLE port = CreateFileA(PortDevicePath(g_portName).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return INVALID_HANDLE_VALUE;
    }
    SetupComm(port, 256, 256);

    GetCommTimeouts(port, &timeouts);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(kFirstByteTimeoutMs);
    SetCommTimeouts(port, &timeouts);

    DCB line;
    line.DCBlength = sizeof(line);
    if (!GetCommState(port, &line)) {
        CloseHandle(port);
        return INVALID_HANDLE_VALUE;
    }
    line.BaudRate = CBR_9600;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fOutxCtsFlow = FALSE;
    // A raw 8-bit line: no software flow control, no byte substitution, so
    // the frames' control bytes pass as they are.
    line.fBinary = TRUE;
    line.fParity = FALSE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fErrorChar = FALSE;
    line.fNull = FALSE;
    SetCommState(port, &line);
    return port;
}

// A port that fails hard (the device behind it went away) is closed; the
// next write opens it again, without the settle pause, and retries once.
// Until then reads find nothing at once.
class Win32SerialLine : public SerialLine {
public:
    Win32SerialLine(HANDLE port, const COMMTIMEOUTS& timeouts) : port_(port), timeouts_(timeouts) {}
    ~Win32SerialLine() override { ClosePort(); }

    int Write(const unsigned char* bytes, int count) override {
        if (port_ == INVALID_HANDLE_VALUE && !Reopen()) {
            return 0;
        }
        DWORD written = 0;
        if (WriteFile(port_, bytes, static_cast<DWORD>(count), &written, nullptr)) {
            return static_cast<int>(written);
        }
        ClosePort();
        if (!Reopen()) {
            return 0;
        }
        if (!WriteFile(port_, bytes, static_cast<DWORD>(count), &written, nullptr)) {
            ClosePort();
            return 0;
        }
        return static_cast<int>(written);
    }

    // One byte per ReadFile: with the time-outs set at open it returns as
    // soon as a byte is there (multi-byte reads do not return early under
    // Wine), or after the first-byte wait with nothing.
    bool ReadByte(unsigned char& byte) override {
        if (port_ == INVALID_HANDLE_VALUE) {
            return false;
        }
        DWORD got = 0;
        if (!ReadFile(port_, &byte, 1, &got, nullptr)) {
            ClosePort();
            return false;
        }
        if (got == 1) {
            return true;
        }
        // Nothing came. A port whose device has gone reads the same way
        // (under Wine, after the whole time-out) but has no error state left.
        DWORD errors = 0;
        if (!ClearCommError(port_, &errors, nullptr)) {
            ClosePort();
        }
        return false;
    }

    void LimitFirstByteWait(int limitMs) override {
        limitMs_ = limitMs;
        if (port_ != INVALID_HANDLE_VALUE) {
            ApplyReadWait(FirstByteWait());
        }
    }

    void DiscardInput() override {
        if (port_ != INVALID_HANDLE_VALUE && !PurgeComm(port_, PURGE_RXCLEAR)) {
            ClosePort();
        }
    }

    void DrainInput(int quietMs, int limitMs) override {
        DiscardInput();
        if (port_ == INVALID_HANDLE_VALUE) {
            return;
        }
        ApplyReadWait(static_cast<DWORD>(quietMs));
        DWORD start = GetTickCount();
        unsigned char byte;
        DWORD got = 0;
        while (GetTickCount() - start < static_cast<DWORD>(limitMs)) {
            if (!ReadFile(port_, &byte, 1, &got, nullptr)) {
                ClosePort();
                return;
            }
            if (got != 1) {
                break;  // quiet for quietMs
            }
            PurgeComm(port_, PURGE_RXCLEAR);
        }
        ApplyReadWait(FirstByteWait());
    }

private:
    bool Reopen() {
        port_ = OpenConfiguredPort(timeouts_);
        if (port_ != INVALID_HANDLE_VALUE && limitMs_ > 0) {
            ApplyReadWait(FirstByteWait());
        }
        return port_ != INVALID_HANDLE_VALUE;
    }

    DWORD FirstByteWait() const {
        return static_cast<DWORD>(
            limitMs_ > 0 && limitMs_ < kFirstByteTimeoutMs ? limitMs_ : kFirstByteTimeoutMs);
    }

    // The read time-outs as set at open, with waitMs as the total constant.
    void ApplyReadWait(DWORD waitMs) {
        COMMTIMEOUTS timeouts = timeouts_;
        timeouts.ReadTotalTimeoutConstant = waitMs;
        SetCommTimeouts(port_, &timeouts);
    }

    void ClosePort() {
        if (port_ != INVALID_HANDLE_VALUE) {
            CloseHandle(port_);
            port_ = INVALID_HANDLE_VALUE;
        }
    }

    HANDLE port_;
    COMMTIMEOUTS timeouts_;
    int limitMs_ = 0;  // 0: the full kFirstByteTimeoutMs
};

// Claims the port for this copy of the program with a named mutex, kept for
// the whole run. Windows opens a port exclusively, but Wine lets a second
// opener in, and two copies on one line would take each other's replies;
// the claim makes a second copy fail on both. False when another copy holds
// the port's claim.
bool ClaimPort() {
    std::string name = "zubcd changer port " + g_portName;
    HANDLE claim = CreateMutexA(nullptr, FALSE, name.c_str());
    if (claim == nullptr) {
        return true;  // no claim to be had; the exclusive open still guards
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(claim);
        return false;
    }
    return true;
}

}  // namespace

int OpenChangerPort() {
    if (!ClaimPort()) {
        return 0;
    }
    COMMTIMEOUTS timeouts;
    HANDLE port = OpenConfiguredPort(timeouts);
    if (port == INVALID_HANDLE_VALUE) {
        return 0;
    }
    Sleep(kSettlePauseMs);
    g_hCom = new Win32SerialLine(port, timeouts);
    return 1;
}
