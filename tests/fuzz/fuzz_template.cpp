// Fuzz target: the dialog-template walker over arbitrary bytes held in a
// block of exactly their size, and the control specs made from its items.
//
// Input: the template bytes, nothing else.
#include <cstring>
#include <memory>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "ui/dialog_template.h"

namespace {

const BaseUnits kUnits[] = {{6, 13}, {0, 0}, {-7, 1 << 20}};

// What the walker found: compared between two walks of the same bytes.
struct Walk {
    TemplateResult header = TemplateTruncated;
    int items = 0;
    TemplateResult end = TemplateNoMoreItems;
    std::string texts;  // every text read, in order
};

Walk WalkTemplate(const uint8_t* bytes, size_t size) {
    Walk walk;
    DialogTemplateReader reader(bytes, size);
    DialogItem item;
    FUZZ_CHECK(reader.ReadItem(item) == TemplateNoMoreItems);  // no header yet

    DialogHeader header;
    walk.header = reader.ReadHeader(header);
    if (walk.header != TemplateOk) {
        FUZZ_CHECK(walk.header == TemplateTruncated);
        FUZZ_CHECK(reader.ReadItem(item) == TemplateNoMoreItems);
        return walk;
    }
    FUZZ_CHECK(header.title.size() <= static_cast<size_t>(kMaxTitleChars));
    FUZZ_CHECK(header.faceName.size() <= static_cast<size_t>(kMaxFaceChars));
    FUZZ_CHECK(header.hasFont == ((header.style & DS_SETFONT_BIT) != 0));
    FUZZ_CHECK(header.hasFont || (header.pointSize == 0 && header.faceName.empty()));
    walk.texts = header.title + '\0' + header.faceName + '\0';
    for (const BaseUnits& units : kUnits) {
        HostSizeForTemplate(header, units, 19);
    }

    for (;;) {
        TemplateResult result = reader.ReadItem(item);
        if (result != TemplateOk) {
            walk.end = result;
            break;
        }
        ++walk.items;
        // Every item takes at least 18 bytes, so the count is bounded by both.
        FUZZ_CHECK(walk.items <= header.itemCount);
        FUZZ_CHECK(static_cast<size_t>(walk.items) * 18 <= size);
        FUZZ_CHECK(item.className.size() <= static_cast<size_t>(kMaxClassChars));
        FUZZ_CHECK(item.text.size() <= static_cast<size_t>(kMaxTitleChars));
        FUZZ_CHECK(!item.classIsOrdinal || item.className.empty());
        walk.texts += item.className + '\0' + item.text + '\0';

        for (const BaseUnits& units : kUnits) {
            ControlSpec spec;
            const char* name = nullptr;
            uint32_t extra = 0;
            bool known = !item.classIsOrdinal || ClassForOrdinal(item.classOrdinal, &name, &extra);
            FUZZ_CHECK(ControlSpecForItem(item, units, spec) == known);
            if (known) {
                FUZZ_CHECK((spec.style & WS_CHILD_BIT) != 0);
                FUZZ_CHECK(spec.id == item.id && spec.text == item.text);
                FUZZ_CHECK(spec.className == (item.classIsOrdinal ? name : item.className));
            }
        }
    }
    // All items read means there are no more; a failed item ends the walk.
    FUZZ_CHECK(walk.end == TemplateTruncated || walk.items == header.itemCount);
    FUZZ_CHECK(reader.ReadItem(item) == TemplateNoMoreItems);
    return walk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly size bytes on the heap: a read past them is caught.
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]);
    if (size != 0) {
        std::memcpy(bytes.get(), data, size);
    }
    Walk first = WalkTemplate(bytes.get(), size);
    FUZZ_CHECK(size == 0 || std::memcmp(bytes.get(), data, size) == 0);  // only read

    // A second walk of the same bytes finds the same.
    Walk second = WalkTemplate(bytes.get(), size);
    FUZZ_CHECK(first.header == second.header && first.items == second.items &&
               first.end == second.end && first.texts == second.texts);

    // With the count cut short, the walk stops earlier and never later.
    if (first.header == TemplateOk && first.items > 0) {
        std::unique_ptr<uint8_t[]> shorter(new uint8_t[size - 1]);
        std::memcpy(shorter.get(), data, size - 1);
        Walk cut = WalkTemplate(shorter.get(), size - 1);
        FUZZ_CHECK(cut.header != TemplateOk || cut.items <= first.items);
    }
    DialogTemplateReader empty(nullptr, 100);
    DialogHeader header;
    FUZZ_CHECK(empty.ReadHeader(header) == TemplateTruncated);
    return 0;
}
