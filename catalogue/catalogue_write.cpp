// The catalogue edit on disk: read whole, edit, replace.
#include "catalogue/catalogue_write.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_edit.h"
#include "platform/file_replace.h"

namespace {

// One edit at a time: two remote sessions naming slots together must not
// each write the file as it was before the other's edit.
std::mutex editMutex;

// The whole file into bytes; a missing file is empty. A file larger than
// the reader reads is not edited.
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
    bytes->clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        if (errno == ENOENT) {
            return true;
        }
        *error = std::strerror(errno);
        return false;
    }
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 &&
           bytes->size() <= kCatalogueReadLimit) {
        bytes->append(chunk, got);
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        *error = "it cannot be read";
        return false;
    }
    if (bytes->size() > kCatalogueReadLimit) {
        *error = "it is over " + std::to_string(kCatalogueReadLimit) + " bytes";
        return false;
    }
    return true;
}

}  // namespace

std::string SetCatalogueNames(const std::string& path, int slot, const std::string* artist,
                              const std::string* title) {
    std::lock_guard<std::mutex> lock(editMutex);
    std::string bytes;
    std::string error;
    if (!ReadWholeFile(path, &bytes, &error)) {
        return "cannot edit " + path + ": " + error;
    }
    CatalogueEdit edit = EditCatalogueNames(bytes, slot, artist, title);
    if (!edit.error.empty()) {
        return edit.error;
    }
    if (!ReplaceFileContents(path, edit.bytes, &error)) {
        return "cannot write " + path + ": " + error;
    }
    return "";
}
