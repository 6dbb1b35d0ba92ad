// PE resource lookup: section table, resource directory tree, data entry.
#include "tests/support/pe_resource.h"

#include <fstream>
#include <iterator>

namespace {

class Image {
public:
    explicit Image(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    bool Has(size_t offset, size_t count) const {
        return offset <= bytes_.size() && bytes_.size() - offset >= count;
    }
    uint32_t U16(size_t offset) const { return bytes_[offset] | (bytes_[offset + 1] << 8); }
    uint32_t U32(size_t offset) const { return U16(offset) | (U16(offset + 2) << 16); }
    const uint8_t* At(size_t offset) const { return bytes_.data() + offset; }

private:
    std::vector<uint8_t> bytes_;
};

struct Section {
    uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

// The directory entry of a numeric id: its offset field, or 0 when absent.
bool FindEntry(const Image& image, size_t directory, int id, uint32_t& target) {
    if (!image.Has(directory, 16)) {
        return false;
    }
    uint32_t entries = image.U16(directory + 12) + image.U16(directory + 14);
    for (uint32_t k = 0; k < entries; ++k) {
        size_t entry = directory + 16 + 8 * k;
        if (!image.Has(entry, 8)) {
            return false;
        }
        uint32_t nameField = image.U32(entry);
        if ((nameField & 0x80000000u) == 0 && static_cast<int>(nameField) == id) {
            target = image.U32(entry + 4);
            return true;
        }
    }
    return false;
}

}  // namespace

bool ReadPeResource(const std::string& path, int type, int name, int language,
                    std::vector<uint8_t>& bytes, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    Image image(std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {}));
    if (!image.Has(0x40, 0) || image.U16(0) != 0x5A4D) {
        error = "not an MZ file";
        return false;
    }
    size_t pe = image.U32(0x3C);
    if (!image.Has(pe, 24) || image.U32(pe) != 0x00004550) {
        error = "no PE header";
        return false;
    }
    uint32_t sectionCount = image.U16(pe + 6);
    size_t optional = pe + 24;
    size_t optionalSize = image.U16(pe + 20);
    if (!image.Has(optional, optionalSize) || optionalSize < 2) {
        error = "short optional header";
        return false;
    }
    size_t directories = image.U16(optional) == 0x20B ? optional + 112 : optional + 96;
    if (!image.Has(directories + 2 * 8, 8)) {
        error = "no resource directory entry";
        return false;
    }
    uint32_t resourceRva = image.U32(directories + 2 * 8);

    std::vector<Section> sections;
    size_t table = optional + optionalSize;
    for (uint32_t k = 0; k < sectionCount; ++k) {
        size_t at = table + 40 * k;
        if (!image.Has(at, 40)) {
            error = "short section table";
            return false;
        }
        sections.push_back(
            {image.U32(at + 12), image.U32(at + 8), image.U32(at + 20), image.U32(at + 16)});
    }
    auto fileOffset = [&](uint32_t rva, size_t& offset) {
        for (const Section& s : sections) {
            if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize) {
                offset = s.rawOffset + (rva - s.virtualAddress);
                return true;
            }
        }
        return false;
    };

    size_t root;
    if (resourceRva == 0 || !fileOffset(resourceRva, root)) {
        error = "no resources";
        return false;
    }
    uint32_t level;
    if (!FindEntry(image, root, type, level) || !(level & 0x80000000u)) {
        error = "no resource of that type";
        return false;
    }
    if (!FindEntry(image, root + (level & 0x7FFFFFFF), name, level) || !(level & 0x80000000u)) {
        error = "no resource of that name";
        return false;
    }
    if (!FindEntry(image, root + (level & 0x7FFFFFFF), language, level) || (level & 0x80000000u)) {
        error = "no resource of that language";
        return false;
    }
    size_t dataEntry = root + level;
    size_t data;
    if (!image.Has(dataEntry, 16) || !fileOffset(image.U32(dataEntry), data) ||
        !image.Has(data, image.U32(dataEntry + 4))) {
        error = "bad data entry";
        return false;
    }
    bytes.assign(image.At(data), image.At(data) + image.U32(dataEntry + 4));
    return true;
}
