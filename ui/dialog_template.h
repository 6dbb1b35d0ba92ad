// Reading a standard dialog template (DLGTEMPLATE) from its bytes, and the
// dialog-unit arithmetic the layout builder applies to it. No window system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

const uint32_t DS_SETFONT_BIT = 0x00000040;
const uint32_t WS_CHILD_BIT = 0x40000000;
const uint32_t WS_BORDER_BIT = 0x00800000;
const uint32_t WS_DLGFRAME_BIT = 0x00400000;
const uint32_t WS_SYSMENU_BIT = 0x00080000;
const uint32_t WS_MINIMIZEBOX_BIT = 0x00020000;
const uint32_t WS_MAXIMIZEBOX_BIT = 0x00010000;
const uint32_t WS_EX_CLIENTEDGE_BIT = 0x00000200;

// Working limits of the texts taken from a template; longer ones are cut.
const int kMaxTitleChars = 51;
const int kMaxClassChars = 31;
const int kMaxFaceChars = 127;

struct DialogHeader {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    uint16_t itemCount = 0;  // cdit
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::string title;
    bool hasFont = false;  // DS_SETFONT: the two fields below were read
    uint16_t pointSize = 0;
    std::string faceName;
};

struct DialogItem {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint16_t id = 0;
    bool classIsOrdinal = false;
    uint16_t classOrdinal = 0;
    std::string className;           // when the class is given as a string
    std::string text;                // empty for a title given as an ordinal
    uint16_t creationDataBytes = 0;  // skipped, never passed on
};

enum TemplateResult {
    TemplateOk = 0,
    TemplateTruncated,  // the bytes end before the field being read
    TemplateNoMoreItems,
};

// Walks one template, header first, then the items in order. Never reads
// past the byte count and never writes to the bytes.
class DialogTemplateReader {
public:
    DialogTemplateReader(const uint8_t* bytes, size_t count);

    TemplateResult ReadHeader(DialogHeader& header);
    // The next item; TemplateNoMoreItems after the header's cdit items.
    TemplateResult ReadItem(DialogItem& item);

private:
    bool ReadWord(uint16_t& value);
    bool ReadDword(uint32_t& value);
    bool ReadString(std::string& text, int limit);
    bool SkipNameOrOrdinal();  // menu and window-class arrays
    bool AlignToDword();

    const uint8_t* bytes_;
    size_t count_;
    size_t offset_ = 0;
    int itemsLeft_ = 0;
    bool headerRead_ = false;
};

// Class name and extra extended style for an item's class ordinal; false
// for an ordinal outside the table (the template is then invalid).
bool ClassForOrdinal(uint16_t ordinal, const char** className, uint32_t* extraExStyle);

// The two base units, in pixels.
struct BaseUnits {
    int horizontal = 0;
    int vertical = 0;  // the font's tmHeight
};

// Horizontal base unit from the pixel width of the 52 letters A-Z, a-z.
int HorizontalBaseUnit(int alphabetWidth);
const char kBaseUnitAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Font height for CreateFont: negative, the character height in pixels.
int FontHeightForPoints(int pointSize, int pixelsPerInchY);

int DialogXToPixels(int value, const BaseUnits& units);
int DialogYToPixels(int value, const BaseUnits& units);

// The host's style after taking the template's minimise, maximise and
// system-menu bits; nothing is cleared.
uint32_t MergeHostStyle(uint32_t hostStyle, uint32_t templateStyle);

struct PixelSize {
    int width = 0;
    int height = 0;
};

// The host's outer size for a template: its cx, cy in pixels, plus the
// caption height when the template has WS_BORDER or WS_DLGFRAME.
PixelSize HostSizeForTemplate(const DialogHeader& header, const BaseUnits& units,
                              int captionHeight);

// Everything needed to create one control.
struct ControlSpec {
    std::string className;
    std::string text;
    uint32_t style = 0;    // the item's, with WS_CHILD
    uint32_t exStyle = 0;  // the item's, plus the class's extra
    int x = 0, y = 0, width = 0, height = 0;
    int id = 0;
};

// False when the item's class ordinal is not in the table.
bool ControlSpecForItem(const DialogItem& item, const BaseUnits& units, ControlSpec& spec);
