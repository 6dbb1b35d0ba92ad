// The framed command/reply exchange with the changer. Every command goes
// through ChangerTransact, one frame out and one reply in, under g_hComMutex.
#pragma once

#include <mutex>

#include "link/serial_line.h"

// Command codes the changer understands (two decimal digits on the line).
enum ChangerCommand {
    CMD_LOAD = 1,           // "A%.2d" slot, slot 100 as A00; result 00 = disc loaded
    CMD_STOP = 2,           // play stops
    CMD_UNLOAD = 3,         // the disc returns to the magazine
    CMD_TRACK = 4,          // "A%.2d" track: the track play starts from
    CMD_AUTOPAUSE_ON = 7,   // pause at every track end ("PT"; "PD" at disc end)
    CMD_AUTOPAUSE_OFF = 8,  // play runs on from track to track
    CMD_PAUSE = 9,
    CMD_PLAY = 10,        // play from the selected track, or resume
    CMD_DISC_ID = 13,     // reply bytes 9-18: the disc's identifier
    CMD_TOC = 15,         // reply bytes 9-10 first, 11-12 last track, 13-16 disc time
    CMD_STATUS = 16,      // reply layout: see changer/status_poll.h
    CMD_TRACK_INFO = 17,  // "A%.2d" track; reply bytes 9-12 start, 13-16 end
};

const unsigned char STX = 0x02;
const unsigned char ETX = 0x03;

// Frame: STX, length LL, command CC, argument, ETX; LL counts CC and argument.
const int kFrameBufferSize = 52;
const int kMaxArgumentLength = kFrameBufferSize - 7;

// At most this many reply bytes are stored; a reply buffer holds one more
// for the terminating NUL.
const int kMaxReplyBytes = 49;
const int kReplyBufferSize = kMaxReplyBytes + 1;

// Result of an exchange that brought no two-digit result code: a reply that
// ended before position 7, non-digits at positions 5-6, or a silent line.
const int kNoResult = -1;

// How long a read waits for a byte on the port. Once an exchange has brought no
// byte at all in that time, the line is known silent and later exchanges
// wait kSilentLineWaitMs for their first byte, until a byte comes again.
const int kFirstByteTimeoutMs = 10000;
const int kSilentLineWaitMs = 1000;

// What one exchange leaves for the next. Guarded by g_hComMutex; written by
// ChangerTransact and WriteChanger.
struct LinkState {
    bool replyUnfinished = false;  // the last reply did not end with ETX
    bool lineSilent = false;       // the last exchange got no byte at all
    bool writeOutage = false;      // a write failed and no reply came since
};
extern LinkState g_linkState;

// Builds the frame for a command into frame (kFrameBufferSize bytes).
// Returns its length, or 0 when the argument is too long to fit.
int BuildCommandFrame(int command, const char* argument, unsigned char* frame);

// The open changer port; owned for the whole run. Exchanges use it only
// while holding g_hComMutex.
extern SerialLine* g_hCom;

// Serialises every exchange on the line. Recursive: a multi-command unit
// holds it and calls ChangerTransact, which a locked call may nest in.
// Always the innermost of the three locks.
extern std::recursive_mutex g_hComMutex;

// Opens and configures the port g_portName (9600 8N1, DTR on, 10 s
// first-byte read time-out), waits 2 s for the line to settle. 1 on
// success, else 0. Win32 only; native tests put their own line into g_hCom.
int OpenChangerPort();

// Writes the bytes in one write; 1 when all went out, else 0. The first
// failed or short write of an outage posts the box "Write to g_hCom Failed"
// (PostErrorBox: the caller holds g_hComMutex and must not wait); later ones
// stay silent until an exchange gets a reply again. The caller holds
// g_hComMutex.
int WriteChanger(const unsigned char* bytes, int count);

// One exchange: discards stale input, sends the frame, reads one reply; on
// a known-silent line the first byte is waited for kSilentLineWaitMs only.
// The caller holds g_hComMutex. The reply bytes are stored in reply (at
// least kReplyBufferSize bytes, or null) followed by NUL; replyLength, when
// given, receives how many bytes were stored. Returns the two-digit result
// at reply positions 5-6, or kNoResult.
int ChangerTransact(int command, const char* argument, char* reply, int* replyLength = nullptr);

// ChangerTransact under g_hComMutex.
int ChangerTransactLocked(int command, const char* argument, char* reply,
                          int* replyLength = nullptr);

// A two-digit decimal field of a reply: (first - '0') * 10 + (second - '0'),
// each byte taken as a signed character and not checked, so a non-digit
// gives some other defined number.
int DecimalField(const char* bytes);

// Whether a stored reply is complete: it ended with ETX.
bool ReplyEndsWithEtx(const char* reply, int replyLength);

// The "A%.2d" slot argument: slot 100 is sent as A00. buffer holds 8 bytes.
void FormatSlotArgument(int slot, char* buffer);

// The "A%.2d" track argument (no mapping). buffer holds 8 bytes.
void FormatTrackArgument(int track, char* buffer);

// Shutdown: releases the port when no exchange is under way. A thread
// still inside an exchange keeps it; process exit then closes it.
void CloseChangerPort();
