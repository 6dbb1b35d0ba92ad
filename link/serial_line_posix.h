// The POSIX serial backend: a tty or pseudo-terminal set raw, 9600 8N1.
#pragma once

#include <memory>

#include "link/serial_line.h"

// Opens path for reading and writing; the first-byte read time-out is
// timeoutMs. Returns null when the device cannot be opened or configured.
// After a hard I/O error the line opens path again on its next write.
std::unique_ptr<SerialLine> OpenPosixSerialLine(const char* path, int timeoutMs);
