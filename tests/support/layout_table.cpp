// The layout table and the checks against it.
#include "tests/support/layout_table.h"

#include <gtest/gtest.h>

namespace {

struct LayoutRow {
    int id;
    int classOrdinal;  // 0: the class name "SysListView32"
    const char* text;
    int x, y, cx, cy;
    uint32_t style;
};

const LayoutRow kLayout[] = {
    {2, 0x80, "Exit", 284, 223, 50, 14, 0x50010000},
    {1000, 0x80, "Load", 229, 26, 50, 14, 0x50010000},
    {1001, 0x80, "Unload", 284, 26, 50, 14, 0x50010000},
    {1002, 0, "List1", 14, 66, 320, 87, 0x50810005},
    {1003, 0x80, "Scan", 174, 26, 50, 14, 0x50010000},
    {1005, 0x80, "Play", 284, 7, 50, 14, 0x50010000},
    {1006, 0x80, "Pause", 229, 7, 50, 14, 0x50010000},
    {1007, 0x80, "Stop", 174, 7, 50, 14, 0x50010000},
    {1009, 0, "List2", 15, 173, 248, 64, 0x50810005},
    {65535, 0x82, "Discs:", 14, 53, 20, 8, 0x50020000},
    {65535, 0x82, "Tracks:", 14, 159, 25, 8, 0x50020000},
    {1010, 0x80, "Random", 284, 44, 50, 14, 0x58010000},
    {1011, 0x80, "Next", 229, 44, 50, 14, 0x58010000},
};

}  // namespace

void ExpectLayoutHeader(const DialogHeader& header) {
    EXPECT_EQ(header.style, 0x80CA00C0u);
    EXPECT_EQ(header.exStyle, 0u);
    EXPECT_EQ(header.itemCount, 13);
    EXPECT_EQ(header.x, 0);
    EXPECT_EQ(header.y, 0);
    EXPECT_EQ(header.cx, 353);
    EXPECT_EQ(header.cy, 258);
    EXPECT_EQ(header.title, "ZUB CD Changer");
    EXPECT_TRUE(header.hasFont);
    EXPECT_EQ(header.pointSize, 8);
    EXPECT_EQ(header.faceName, "MS Sans Serif");
}

void ExpectLayoutItems(const std::vector<DialogItem>& items) {
    const size_t rows = sizeof kLayout / sizeof kLayout[0];
    ASSERT_EQ(items.size(), rows);
    for (size_t k = 0; k < rows; ++k) {
        const LayoutRow& want = kLayout[k];
        const DialogItem& item = items[k];
        SCOPED_TRACE(testing::Message() << "item " << k + 1 << " \"" << want.text << "\"");
        EXPECT_EQ(item.id, want.id);
        if (want.classOrdinal != 0) {
            EXPECT_TRUE(item.classIsOrdinal);
            EXPECT_EQ(item.classOrdinal, want.classOrdinal);
        } else {
            EXPECT_FALSE(item.classIsOrdinal);
            EXPECT_EQ(item.className, "SysListView32");
        }
        EXPECT_EQ(item.text, want.text);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
        EXPECT_EQ(item.style, want.style);
        EXPECT_EQ(item.exStyle, 0u);
        EXPECT_EQ(item.creationDataBytes, 0);
    }
}
