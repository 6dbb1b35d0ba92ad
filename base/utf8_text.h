// UTF-8 text as code points and back: the names a client sends are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The code points of text, when it is valid UTF-8 (no overlong forms, no
// surrogates, nothing past U+10FFFF); false, with points unchanged, when
// it is not.
bool DecodeUtf8(const std::string& text, std::vector<uint32_t>* points);

// The UTF-8 bytes of one code point, appended to out.
void AppendUtf8(uint32_t point, std::string* out);
