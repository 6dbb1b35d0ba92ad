// Moving a bad library file out of the way: renamed, never deleted or
// overwritten, with its journal files beside it.
#pragma once

#include <ctime>
#include <string>

// "<path>.bad-YYYYMMDD-HHMMSS" of now in local time; a free name with
// "-2", "-3"... appended when that one is taken.
std::string AsideName(const std::string& path, std::time_t now);

// Renames path, and its -wal and -shm files if any, to AsideName. Returns
// the new name of path, or an empty text when it could not be renamed.
std::string MoveAside(const std::string& path, std::time_t now);
