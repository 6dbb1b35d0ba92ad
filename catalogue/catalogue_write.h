// Setting a slot's artist and title in the catalogue file on disk.
#pragma once

#include <string>

#include "catalogue/catalogue.h"

// Reads the catalogue at path (none yet: an empty one), makes line slot
// name the artist and title given (EditCatalogueNames; null keeps a field)
// and replaces the file at once (ReplaceFileContents). Returns "" when
// done, else why nothing was written, as one line; the file stays as it
// was. Edits are made one at a time.
std::string SetCatalogueNames(const std::string& path, int slot, const std::string* artist,
                              const std::string* title);
