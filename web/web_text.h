// Catalogue texts as UTF-8 for JSON: the catalogue file is written either in
// the controller's code page (Windows-1252) or in UTF-8, and its bytes pass
// through the remote protocol unchanged.
#pragma once

#include <string>

// UTF-8 bytes are kept; anything else is read as Windows-1252. A multi-byte
// character cut short at the end of a full field (the protocol cuts texts
// to 49 bytes) is dropped. Control characters, and bytes Windows-1252 leaves undefined,
// become '?'.
std::string CatalogueTextToUtf8(const std::string& bytes);
