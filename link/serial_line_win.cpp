// The Win32 serial backend and the opening of COM1.
#include <windows.h>

#include "link/changer_link.h"

namespace {

const DWORD kFirstByteTimeoutMs = 10000;
const DWORD kSettlePauseMs = 2000;

class Win32SerialLine : public SerialLine {
public:
    explicit Win32SerialLine(HANDLE port) : port_(port) {}
    ~Win32SerialLine() override { CloseHandle(port_); }

    int Write(const unsigned char* bytes, int count) override {
        DWORD written = 0;
        if (!WriteFile(port_, bytes, static_cast<DWORD>(count), &written, nullptr)) {
            return 0;
        }
        return static_cast<int>(written);
    }

    // One byte per ReadFile: with the time-outs set at open it returns as
    // soon as a byte is there (multi-byte reads do not return early under
    // Wine), or after the 10 s first-byte time-out with nothing.
    bool ReadByte(unsigned char& byte) override {
        DWORD got = 0;
        return ReadFile(port_, &byte, 1, &got, nullptr) && got == 1;
    }

    void DiscardInput() override { PurgeComm(port_, PURGE_RXCLEAR); }

private:
    HANDLE port_;
};

}  // namespace

int OpenChangerPort() {
    HANDLE port =
        CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return 0;
    }
    SetupComm(port, 256, 256);

    COMMTIMEOUTS timeouts;
    GetCommTimeouts(port, &timeouts);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = kFirstByteTimeoutMs;
    SetCommTimeouts(port, &timeouts);

    DCB line;
    line.DCBlength = sizeof(line);
    if (!GetCommState(port, &line)) {
        CloseHandle(port);
        return 0;
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

    Sleep(kSettlePauseMs);
    g_hCom = new Win32SerialLine(port);
    return 1;
}
