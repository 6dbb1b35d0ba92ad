// Dialog template walker and dialog-unit arithmetic.
#include "ui/dialog_template.h"

#include "platform/mul_div.h"

namespace {

const uint16_t kOrdinalMarker = 0xFFFF;

struct OrdinalClass {
    uint16_t ordinal;
    const char* name;
    uint32_t extraExStyle;
};

const OrdinalClass kOrdinalClasses[] = {
    {0x0F, "msctls_updown32", 0}, {0x79, "SysListView32", 0},
    {0x80, "BUTTON", 0},          {0x81, "EDIT", WS_EX_CLIENTEDGE_BIT},
    {0x82, "STATIC", 0},          {0x83, "LISTBOX", 0},
    {0x84, "SCROLLBAR", 0},       {0x85, "COMBOBOX", 0},
};

}  // namespace

DialogTemplateReader::DialogTemplateReader(const uint8_t* bytes, size_t count)
    : bytes_(bytes), count_(bytes == nullptr ? 0 : count) {}

bool DialogTemplateReader::ReadWord(uint16_t& value) {
    if (offset_ > count_ || count_ - offset_ < 2) {
        return false;
    }
    value = static_cast<uint16_t>(bytes_[offset_] | (bytes_[offset_ + 1] << 8));
    offset_ += 2;
    return true;
}

bool DialogTemplateReader::ReadDword(uint32_t& value) {
    uint16_t low, high;
    if (!ReadWord(low) || !ReadWord(high)) {
        return false;
    }
    value = low | (static_cast<uint32_t>(high) << 16);
    return true;
}

// A UTF-16 string up to its terminator; each code unit keeps its low 8 bits.
// Units past the limit are walked over but not kept.
bool DialogTemplateReader::ReadString(std::string& text, int limit) {
    text.clear();
    for (;;) {
        uint16_t unit;
        if (!ReadWord(unit)) {
            return false;
        }
        if (unit == 0) {
            return true;
        }
        if (static_cast<int>(text.size()) < limit) {
            text.push_back(static_cast<char>(unit & 0xFF));
        }
    }
}

bool DialogTemplateReader::SkipNameOrOrdinal() {
    uint16_t first;
    if (!ReadWord(first)) {
        return false;
    }
    if (first == 0) {
        return true;
    }
    if (first == kOrdinalMarker) {
        uint16_t ordinal;
        return ReadWord(ordinal);
    }
    // A string: the first unit was its first character.
    std::string ignored;
    return ReadString(ignored, 0);
}

bool DialogTemplateReader::AlignToDword() {
    offset_ = (offset_ + 3) & ~static_cast<size_t>(3);
    return offset_ <= count_;
}

TemplateResult DialogTemplateReader::ReadHeader(DialogHeader& header) {
    offset_ = 0;
    itemsLeft_ = 0;
    headerRead_ = false;
    uint16_t x, y, cx, cy;
    if (!ReadDword(header.style) || !ReadDword(header.exStyle) || !ReadWord(header.itemCount) ||
        !ReadWord(x) || !ReadWord(y) || !ReadWord(cx) || !ReadWord(cy)) {
        return TemplateTruncated;
    }
    header.x = static_cast<int16_t>(x);
    header.y = static_cast<int16_t>(y);
    header.cx = static_cast<int16_t>(cx);
    header.cy = static_cast<int16_t>(cy);
    if (!SkipNameOrOrdinal() || !SkipNameOrOrdinal() || !ReadString(header.title, kMaxTitleChars)) {
        return TemplateTruncated;
    }
    header.hasFont = (header.style & DS_SETFONT_BIT) != 0;
    header.pointSize = 0;
    header.faceName.clear();
    if (header.hasFont &&
        (!ReadWord(header.pointSize) || !ReadString(header.faceName, kMaxFaceChars))) {
        return TemplateTruncated;
    }
    itemsLeft_ = header.itemCount;
    headerRead_ = true;
    return TemplateOk;
}

TemplateResult DialogTemplateReader::ReadItem(DialogItem& item) {
    if (!headerRead_ || itemsLeft_ == 0) {
        return TemplateNoMoreItems;
    }
    // A failure part-way leaves the reader at no defined place: no item
    // follows it.
    int remaining = itemsLeft_ - 1;
    itemsLeft_ = 0;
    uint16_t x, y, cx, cy;
    if (!AlignToDword() || !ReadDword(item.style) || !ReadDword(item.exStyle) || !ReadWord(x) ||
        !ReadWord(y) || !ReadWord(cx) || !ReadWord(cy) || !ReadWord(item.id)) {
        return TemplateTruncated;
    }
    item.x = static_cast<int16_t>(x);
    item.y = static_cast<int16_t>(y);
    item.cx = static_cast<int16_t>(cx);
    item.cy = static_cast<int16_t>(cy);

    uint16_t first;
    if (!ReadWord(first)) {
        return TemplateTruncated;
    }
    item.className.clear();
    item.classIsOrdinal = first == kOrdinalMarker;
    item.classOrdinal = 0;
    if (item.classIsOrdinal) {
        if (!ReadWord(item.classOrdinal)) {
            return TemplateTruncated;
        }
    } else {
        offset_ -= 2;  // the unit read was the name's first character
        if (!ReadString(item.className, kMaxClassChars)) {
            return TemplateTruncated;
        }
    }

    if (!ReadWord(first)) {
        return TemplateTruncated;
    }
    item.text.clear();
    if (first == kOrdinalMarker) {
        uint16_t resourceNumber;
        if (!ReadWord(resourceNumber)) {
            return TemplateTruncated;
        }
    } else {
        offset_ -= 2;
        if (!ReadString(item.text, kMaxTitleChars)) {
            return TemplateTruncated;
        }
    }

    if (!ReadWord(item.creationDataBytes) || count_ - offset_ < item.creationDataBytes) {
        return TemplateTruncated;
    }
    offset_ += item.creationDataBytes;
    itemsLeft_ = remaining;
    return TemplateOk;
}

bool ClassForOrdinal(uint16_t ordinal, const char** className, uint32_t* extraExStyle) {
    for (const OrdinalClass& entry : kOrdinalClasses) {
        if (entry.ordinal == ordinal) {
            *className = entry.name;
            *extraExStyle = entry.extraExStyle;
            return true;
        }
    }
    return false;
}

int HorizontalBaseUnit(int alphabetWidth) {
    return ((alphabetWidth / 26) + 1) / 2;
}

int FontHeightForPoints(int pointSize, int pixelsPerInchY) {
    return -MulDiv(pointSize, pixelsPerInchY, 72);
}

int DialogXToPixels(int value, const BaseUnits& units) {
    return MulDiv(value, units.horizontal, 4);
}

int DialogYToPixels(int value, const BaseUnits& units) {
    return MulDiv(value, units.vertical, 8);
}

uint32_t MergeHostStyle(uint32_t hostStyle, uint32_t templateStyle) {
    const uint32_t copied = WS_MINIMIZEBOX_BIT | WS_MAXIMIZEBOX_BIT | WS_SYSMENU_BIT;
    return hostStyle | (templateStyle & copied);
}

PixelSize HostSizeForTemplate(const DialogHeader& header, const BaseUnits& units,
                              int captionHeight) {
    PixelSize size;
    size.width = DialogXToPixels(header.cx, units);
    size.height = DialogYToPixels(header.cy, units);
    if (header.style & (WS_BORDER_BIT | WS_DLGFRAME_BIT)) {
        size.height += captionHeight;
    }
    return size;
}

bool ControlSpecForItem(const DialogItem& item, const BaseUnits& units, ControlSpec& spec) {
    uint32_t extraExStyle = 0;
    if (item.classIsOrdinal) {
        const char* name;
        if (!ClassForOrdinal(item.classOrdinal, &name, &extraExStyle)) {
            return false;
        }
        spec.className = name;
    } else {
        spec.className = item.className;
    }
    spec.text = item.text;
    spec.style = item.style | WS_CHILD_BIT;
    spec.exStyle = item.exStyle | extraExStyle;
    spec.x = DialogXToPixels(item.x, units);
    spec.y = DialogYToPixels(item.y, units);
    spec.width = DialogXToPixels(item.cx, units);
    spec.height = DialogYToPixels(item.cy, units);
    spec.id = item.id;
    return true;
}
