// Catalogue and reply texts made fit for display: as UTF-8 for JSON and
// web pages, as Windows-1252 for the window, and safe for a terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The bytes as UTF-8: every valid UTF-8 sequence passes unchanged, every
// other byte is read as Windows-1252, the code page such files have on
// Windows (its five unassigned bytes as the control characters of the same
// number). The result is always valid UTF-8.
std::string CatalogueTextToUtf8(const std::string& bytes);

// UTF-8 text for the window's 8-bit controls, in Windows-1252: each valid
// UTF-8 character as its byte there ('?' when it has none); a byte that
// starts no valid character stays as it is (read as Windows-1252 already).
std::string Utf8TextToCp1252(const std::string& text);

// UTF-8 text for a terminal: control characters (C0, DEL and C1, so no
// escape sequence gets through) and bytes that are not valid UTF-8 become
// '?'; everything else passes.
std::string TerminalSafeText(const std::string& utf8);

// The Windows-1252 byte of a code point, or '?' when it has none (the five
// unassigned bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D included).
char Cp1252ByteOf(uint32_t codePoint);

// text cut to at most limit bytes. When the bytes up to the cut are valid
// UTF-8 and the cut falls inside a character, the whole character goes, so
// no stray lead byte is left; other texts are cut at limit.
std::string CutTextAtCharacter(const std::string& text, size_t limit);
