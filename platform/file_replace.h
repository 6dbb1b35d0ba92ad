// Replacing a file's contents all at once: a reader sees the old file or
// the new one, never a part.
#pragma once

#include <string>

// Writes bytes to a file beside path (path + kReplaceTempSuffix), flushes
// it to the disk and puts it in path's place. A read-only file at path is
// not replaced. On failure returns false with why, as one phrase, and
// leaves path as it was and no file beside it.
const char kReplaceTempSuffix[] = ".new";
bool ReplaceFileContents(const std::string& path, const std::string& bytes, std::string* error);
