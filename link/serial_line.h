// Byte access to the changer's serial line. Each platform has one backend
// (serial_line_win.cpp, serial_line_posix.cpp); tests use scripted lines.
#pragma once

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // Writes count bytes in one synchronous write; returns how many went out.
    virtual int Write(const unsigned char* bytes, int count) = 0;

    // Reads one byte. Returns as soon as a byte is there; false when none
    // arrived within the line's first-byte time-out.
    virtual bool ReadByte(unsigned char& byte) = 0;

    // Caps the time a read waits for a byte at limitMs, below the line's
    // own time-out; 0 lifts the cap. The cap stays across a reopen.
    virtual void LimitFirstByteWait(int limitMs) = 0;

    // Drops every byte waiting in the input queue.
    virtual void DiscardInput() = 0;

    // Drops input until none has come for quietMs, for at most limitMs in
    // all: the rest of a reply that ended badly may still be on its way.
    // Lines that cannot wait only drop what is queued.
    virtual void DrainInput(int quietMs, int limitMs) {
        (void)quietMs;
        (void)limitMs;
        DiscardInput();
    }
};
