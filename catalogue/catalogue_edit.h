// Setting a slot's artist and title in the catalogue's bytes: pure.
#pragma once

#include <string>

struct CatalogueEdit {
    std::string bytes;  // the whole new file, when error is empty
    std::string error;  // why nothing can be written, as one line
};

// The catalogue file's bytes with line `slot` (1..kSlotCount) naming the
// artist and title given (UTF-8; a null one keeps that field's bytes).
// Every other line stays byte for byte, with the file's line ends and
// encoding: a UTF-8 or UTF-16 file (byte-order mark) gets its names in
// that encoding; a file without a mark gets them in UTF-8 when its other
// bytes are UTF-8 or a name has a character outside Windows-1252, else in
// Windows-1252. Fields after the title stay. A file shorter than the slot
// gains empty lines; its line end is the file's last one, CR LF in a file
// without one. A bad name or slot, or a line the reader would cut, gives
// an error and no bytes.
CatalogueEdit EditCatalogueNames(const std::string& file, int slot, const std::string* artist,
                                 const std::string* title);
