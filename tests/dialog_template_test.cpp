// The dialog template walker over the built-in layout and hand-made
// templates, and the dialog-unit arithmetic of the layout builder.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/support/layout_table.h"
#include "ui/dialog_template.h"

namespace {

BaseUnits Units(int horizontal, int vertical) {
    BaseUnits units;
    units.horizontal = horizontal;
    units.vertical = vertical;
    return units;
}

const uint16_t kBuiltInWords[] = {
#include "resources/layout_template.inc"
};

std::vector<uint8_t> BuiltInBytes() {
    std::vector<uint8_t> bytes;
    for (uint16_t word : kBuiltInWords) {
        bytes.push_back(word & 0xFF);
        bytes.push_back(word >> 8);
    }
    return bytes;
}

// Writes templates by hand, field by field.
class TemplateWriter {
public:
    TemplateWriter& Word(uint16_t value) {
        bytes.push_back(value & 0xFF);
        bytes.push_back(value >> 8);
        return *this;
    }
    TemplateWriter& Dword(uint32_t value) { return Word(value & 0xFFFF).Word(value >> 16); }
    TemplateWriter& Text(const std::string& text) {
        for (char c : text) {
            Word(static_cast<uint8_t>(c));
        }
        return Word(0);
    }
    TemplateWriter& Align() {
        while (bytes.size() % 4) {
            bytes.push_back(0);
        }
        return *this;
    }
    TemplateWriter& Header(uint32_t style, uint16_t count, const std::string& title) {
        Dword(style).Dword(0).Word(count).Word(0).Word(0).Word(100).Word(50);
        return Word(0).Word(0).Text(title);
    }
    // A whole item after alignment: a class given by name.
    TemplateWriter& NamedItem(uint16_t id, const std::string& className, const std::string& text) {
        Align().Dword(0x50010000).Dword(0).Word(1).Word(2).Word(3).Word(4).Word(id);
        return Text(className).Text(text).Word(0);
    }
    TemplateWriter& OrdinalItem(uint16_t id, uint16_t ordinal, const std::string& text,
                                uint32_t exStyle = 0) {
        Align().Dword(0x50010000).Dword(exStyle).Word(10).Word(20).Word(30).Word(40).Word(id);
        return Word(0xFFFF).Word(ordinal).Text(text).Word(0);
    }

    std::vector<uint8_t> bytes;
};

struct Walk {
    TemplateResult headerResult = TemplateTruncated;
    DialogHeader header;
    std::vector<DialogItem> items;
    TemplateResult end = TemplateNoMoreItems;  // what stopped the item walk
};

// Walks a copy held in a block of exactly the given size, so that a read
// past the end is caught by the sanitizer builds.
Walk WalkTemplate(const std::vector<uint8_t>& bytes, size_t count) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[count == 0 ? 1 : count]);
    std::memcpy(exact.get(), bytes.data(), count);
    DialogTemplateReader reader(exact.get(), count);
    Walk walk;
    walk.headerResult = reader.ReadHeader(walk.header);
    if (walk.headerResult != TemplateOk) {
        return walk;
    }
    for (;;) {
        DialogItem item;
        TemplateResult result = reader.ReadItem(item);
        if (result != TemplateOk) {
            walk.end = result;
            return walk;
        }
        walk.items.push_back(item);
    }
}

Walk WalkTemplate(const std::vector<uint8_t>& bytes) {
    return WalkTemplate(bytes, bytes.size());
}

TEST(BuiltInLayout, HeaderAsTabled) {
    Walk walk = WalkTemplate(BuiltInBytes());
    ASSERT_EQ(walk.headerResult, TemplateOk);
    ExpectLayoutHeader(walk.header);
}

TEST(BuiltInLayout, ItemsAsTabledInCreationOrder) {
    Walk walk = WalkTemplate(BuiltInBytes());
    ASSERT_EQ(walk.headerResult, TemplateOk);
    EXPECT_EQ(walk.end, TemplateNoMoreItems);
    ExpectLayoutItems(walk.items);
}

TEST(BuiltInLayout, ControlsWithBaseUnitsSixAndThirteen) {
    Walk walk = WalkTemplate(BuiltInBytes());
    ASSERT_EQ(walk.items.size(), 13u);
    BaseUnits units = Units(6, 13);

    PixelSize host = HostSizeForTemplate(walk.header, units, 19);
    EXPECT_EQ(host.width, 530);  // 2118 / 4 = 529.5
    EXPECT_EQ(host.height, 419 + 19);

    ControlSpec exitButton;
    ASSERT_TRUE(ControlSpecForItem(walk.items[0], units, exitButton));
    EXPECT_EQ(exitButton.id, IDC_EXIT);
    EXPECT_EQ(exitButton.className, "BUTTON");
    EXPECT_EQ(exitButton.text, "Exit");
    EXPECT_EQ(exitButton.x, 426);
    EXPECT_EQ(exitButton.y, 362);
    EXPECT_EQ(exitButton.width, 75);
    EXPECT_EQ(exitButton.height, 23);
    EXPECT_EQ(exitButton.style, 0x50010000u);

    ControlSpec discs, label;
    ASSERT_TRUE(ControlSpecForItem(walk.items[3], units, discs));
    EXPECT_EQ(discs.className, "SysListView32");
    ASSERT_TRUE(ControlSpecForItem(walk.items[9], units, label));
    EXPECT_EQ(label.className, "STATIC");
    EXPECT_EQ(label.id, 65535);
}

TEST(BuiltInLayout, EveryShorterPrefixIsTruncated) {
    std::vector<uint8_t> bytes = BuiltInBytes();
    for (size_t count = 0; count < bytes.size(); ++count) {
        Walk walk = WalkTemplate(bytes, count);
        bool truncated = walk.headerResult == TemplateTruncated || walk.end == TemplateTruncated;
        EXPECT_TRUE(truncated) << count << " bytes";
        EXPECT_LT(walk.items.size(), 13u) << count << " bytes";
    }
}

TEST(BaseUnits, FromMeasurements) {
    EXPECT_EQ(HorizontalBaseUnit(312), 6);
    EXPECT_EQ(HorizontalBaseUnit(160), 3);  // 160 / 26 = 6, (6 + 1) / 2
    EXPECT_EQ(HorizontalBaseUnit(0), 0);
    EXPECT_EQ(FontHeightForPoints(8, 96), -11);  // 10.67 rounds to 11
    EXPECT_EQ(FontHeightForPoints(8, 120), -13);
    BaseUnits units = Units(6, 13);
    EXPECT_EQ(DialogXToPixels(353, units), 530);
    EXPECT_EQ(DialogYToPixels(258, units), 419);
    EXPECT_EQ(DialogXToPixels(-10, units), -15);
}

TEST(HostFrame, CaptionOnlyWithBorderOrDialogFrame) {
    DialogHeader header;
    header.cx = 100;
    header.cy = 80;
    BaseUnits units = Units(4, 8);
    EXPECT_EQ(HostSizeForTemplate(header, units, 20).height, 80);
    header.style = WS_BORDER_BIT;
    EXPECT_EQ(HostSizeForTemplate(header, units, 20).height, 100);
    header.style = WS_DLGFRAME_BIT;
    EXPECT_EQ(HostSizeForTemplate(header, units, 20).height, 100);
    EXPECT_EQ(HostSizeForTemplate(header, units, 20).width, 100);
}

TEST(HostFrame, StyleBitsAreOnlyAdded) {
    // The layout's style brings minimise and system menu, nothing else.
    EXPECT_EQ(MergeHostStyle(0x00400000, 0x80CA00C0), 0x00400000u | 0x00080000u | 0x00020000u);
    // A host's maximise box stays when the template has none.
    EXPECT_EQ(MergeHostStyle(WS_MAXIMIZEBOX_BIT, 0), WS_MAXIMIZEBOX_BIT);
    EXPECT_EQ(MergeHostStyle(0, 0xFFFFFFFF),
              WS_MINIMIZEBOX_BIT | WS_MAXIMIZEBOX_BIT | WS_SYSMENU_BIT);
}

TEST(HandMadeTemplate, OddAndEvenClassNameLengths) {
    TemplateWriter t;
    t.Header(0, 3, "T").NamedItem(7, "Ab", "x").NamedItem(8, "Abc", "yz").NamedItem(9, "C", "");
    Walk walk = WalkTemplate(t.bytes);
    ASSERT_EQ(walk.items.size(), 3u);
    EXPECT_EQ(walk.end, TemplateNoMoreItems);
    EXPECT_EQ(walk.items[0].className, "Ab");
    EXPECT_EQ(walk.items[0].text, "x");
    EXPECT_EQ(walk.items[1].id, 8);
    EXPECT_EQ(walk.items[1].className, "Abc");
    EXPECT_EQ(walk.items[1].text, "yz");
    EXPECT_EQ(walk.items[2].id, 9);
    EXPECT_EQ(walk.items[2].className, "C");
    EXPECT_FALSE(walk.items[2].classIsOrdinal);
}

TEST(HandMadeTemplate, WithoutFontFirstItemFollowsTitle) {
    TemplateWriter t;
    t.Header(0, 1, "Abc");  // 18 + 4 + 8 bytes: the item starts at 32
    size_t titleEnd = t.bytes.size();
    t.OrdinalItem(5, 0x80, "B");
    Walk walk = WalkTemplate(t.bytes);
    EXPECT_EQ(titleEnd, 30u);
    ASSERT_EQ(walk.items.size(), 1u);
    EXPECT_FALSE(walk.header.hasFont);
    EXPECT_EQ(walk.header.title, "Abc");
    EXPECT_EQ(walk.items[0].id, 5);
    EXPECT_EQ(walk.items[0].x, 10);
    EXPECT_EQ(walk.items[0].cy, 40);
}

TEST(HandMadeTemplate, CreationDataIsSkipped) {
    TemplateWriter t;
    t.Header(0, 2, "");
    t.Align().Dword(0x50000000).Dword(0).Word(1).Word(2).Word(3).Word(4).Word(11);
    t.Word(0xFFFF).Word(0x82).Text("s").Word(3);
    t.bytes.insert(t.bytes.end(), {0xAA, 0xBB, 0xCC});
    t.OrdinalItem(12, 0x80, "after");
    Walk walk = WalkTemplate(t.bytes);
    ASSERT_EQ(walk.items.size(), 2u);
    EXPECT_EQ(walk.items[0].creationDataBytes, 3);
    EXPECT_EQ(walk.items[1].id, 12);
    EXPECT_EQ(walk.items[1].text, "after");
}

TEST(HandMadeTemplate, MenuAndClassArraysInEveryForm) {
    TemplateWriter t;
    // Ordinal menu, string class, then the title.
    t.Dword(0).Dword(0).Word(1).Word(0).Word(0).Word(10).Word(10);
    t.Word(0xFFFF).Word(77).Text("MyClass").Text("Title");
    t.OrdinalItem(3, 0x80, "ok");
    Walk walk = WalkTemplate(t.bytes);
    EXPECT_EQ(walk.header.title, "Title");
    ASSERT_EQ(walk.items.size(), 1u);
    EXPECT_EQ(walk.items[0].id, 3);

    TemplateWriter u;
    u.Dword(0).Dword(0).Word(1).Word(0).Word(0).Word(10).Word(10);
    u.Text("Menu").Word(0xFFFF).Word(9).Text("T2");
    u.OrdinalItem(4, 0x82, "ok");
    walk = WalkTemplate(u.bytes);
    EXPECT_EQ(walk.header.title, "T2");
    ASSERT_EQ(walk.items.size(), 1u);
    EXPECT_EQ(walk.items[0].id, 4);
}

TEST(HandMadeTemplate, NoItems) {
    TemplateWriter t;
    t.Header(DS_SETFONT_BIT, 0, "Empty").Word(9).Text("Face");
    Walk walk = WalkTemplate(t.bytes);
    ASSERT_EQ(walk.headerResult, TemplateOk);
    EXPECT_TRUE(walk.header.hasFont);
    EXPECT_EQ(walk.header.pointSize, 9);
    EXPECT_EQ(walk.header.faceName, "Face");
    EXPECT_TRUE(walk.items.empty());
    EXPECT_EQ(walk.end, TemplateNoMoreItems);
}

TEST(HandMadeTemplate, ItemsDeclaredButMissing) {
    TemplateWriter t;
    t.Header(0, 2, "T").OrdinalItem(1, 0x80, "one");
    Walk walk = WalkTemplate(t.bytes);
    EXPECT_EQ(walk.items.size(), 1u);
    EXPECT_EQ(walk.end, TemplateTruncated);
}

TEST(HandMadeTemplate, CreationDataPastTheEnd) {
    TemplateWriter t;
    t.Header(0, 1, "T");
    t.Align().Dword(0).Dword(0).Word(1).Word(2).Word(3).Word(4).Word(5);
    t.Word(0xFFFF).Word(0x80).Text("b").Word(40).Word(0);
    Walk walk = WalkTemplate(t.bytes);
    EXPECT_TRUE(walk.items.empty());
    EXPECT_EQ(walk.end, TemplateTruncated);
}

TEST(HandMadeTemplate, ClassOrdinalsAndExtras) {
    TemplateWriter t;
    t.Header(0, 3, "T")
        .OrdinalItem(0xFFFF, 0x81, "edit", 0x4)
        .OrdinalItem(2, 0x79, "list")
        .OrdinalItem(3, 0x86, "bad");
    std::vector<uint8_t> before = t.bytes;
    Walk walk = WalkTemplate(t.bytes);
    ASSERT_EQ(walk.items.size(), 3u);
    EXPECT_EQ(t.bytes, before);  // read-only

    BaseUnits units = Units(4, 8);
    ControlSpec spec;
    ASSERT_TRUE(ControlSpecForItem(walk.items[0], units, spec));
    EXPECT_EQ(spec.className, "EDIT");
    EXPECT_EQ(spec.exStyle, 0x4u | WS_EX_CLIENTEDGE_BIT);
    EXPECT_EQ(spec.id, 65535);
    EXPECT_EQ(spec.style, 0x50010000u | WS_CHILD_BIT);
    ASSERT_TRUE(ControlSpecForItem(walk.items[1], units, spec));
    EXPECT_EQ(spec.className, "SysListView32");
    EXPECT_EQ(spec.exStyle, 0u);
    EXPECT_FALSE(ControlSpecForItem(walk.items[2], units, spec));
}

TEST(HandMadeTemplate, NamedClassGetsChildStyle) {
    TemplateWriter t;
    t.Header(0, 1, "T");
    t.Align().Dword(0x10000000).Dword(0).Word(1).Word(2).Word(3).Word(4).Word(5);
    t.Text("Custom").Word(0xFFFF).Word(300).Word(0);  // title as a resource ordinal
    Walk walk = WalkTemplate(t.bytes);
    ASSERT_EQ(walk.items.size(), 1u);
    EXPECT_EQ(walk.items[0].text, "");
    BaseUnits units = Units(4, 8);
    ControlSpec spec;
    ASSERT_TRUE(ControlSpecForItem(walk.items[0], units, spec));
    EXPECT_EQ(spec.className, "Custom");
    EXPECT_EQ(spec.style, 0x10000000u | WS_CHILD_BIT);
}

TEST(HandMadeTemplate, LongTextsAreCutAndWalkedOver) {
    std::string longTitle(70, 'T');
    std::string longClass(40, 'C');
    std::string longText(60, 'x');
    TemplateWriter t;
    t.Header(DS_SETFONT_BIT, 2, longTitle).Word(8).Text(std::string(200, 'F'));
    t.NamedItem(1, longClass, longText).OrdinalItem(2, 0x80, "next");
    Walk walk = WalkTemplate(t.bytes);
    EXPECT_EQ(walk.header.title, std::string(kMaxTitleChars, 'T'));
    EXPECT_EQ(walk.header.faceName, std::string(kMaxFaceChars, 'F'));
    ASSERT_EQ(walk.items.size(), 2u);
    EXPECT_EQ(walk.items[0].className, std::string(kMaxClassChars, 'C'));
    EXPECT_EQ(walk.items[0].text, std::string(kMaxTitleChars, 'x'));
    EXPECT_EQ(walk.items[1].text, "next");
}

TEST(HandMadeTemplate, WideCharactersKeepTheirLowByte) {
    TemplateWriter t;
    t.Dword(0).Dword(0).Word(0).Word(0).Word(0).Word(1).Word(1).Word(0).Word(0);
    t.Word(0x0141).Word(0x0042).Word(0);
    Walk walk = WalkTemplate(t.bytes);
    EXPECT_EQ(walk.header.title, "AB");
}

TEST(HandMadeTemplate, NoBytesAtAll) {
    DialogTemplateReader reader(nullptr, 100);
    DialogHeader header;
    EXPECT_EQ(reader.ReadHeader(header), TemplateTruncated);
    DialogItem item;
    EXPECT_EQ(reader.ReadItem(item), TemplateNoMoreItems);
}

}  // namespace
