// Catalogue and reply texts made fit for display: as UTF-8 for JSON and
// web pages, and safe for a terminal.
#pragma once

#include <string>

// The bytes as UTF-8: every valid UTF-8 sequence passes unchanged, every
// other byte is read as Windows-1252, the code page such files have on
// Windows (its five unassigned bytes as the control characters of the same
// number). The result is always valid UTF-8.
std::string CatalogueTextToUtf8(const std::string& bytes);

// UTF-8 text for a terminal: control characters (C0, DEL and C1, so no
// escape sequence gets through) and bytes that are not valid UTF-8 become
// '?'; everything else passes.
std::string TerminalSafeText(const std::string& utf8);
