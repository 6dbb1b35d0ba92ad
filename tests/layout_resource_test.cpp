// The resources of the built program, read back out of zubcd.exe: the
// layout template against the layout table, and the icon's format. The
// program's path comes from ZUB_WIN_EXE; without it the checks are skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/support/layout_table.h"
#include "tests/support/pe_resource.h"
#include "ui/dialog_template.h"

namespace {

const int kTypeIcon = 3;
const int kTypeDialog = 5;
const int kTypeGroupIcon = 14;
const int kEnglishUs = 1033;

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override {
        const char* exe = std::getenv("ZUB_WIN_EXE");
        if (exe == nullptr || *exe == 0) {
            GTEST_SKIP() << "ZUB_WIN_EXE not set";
        }
        path = exe;
    }

    std::vector<uint8_t> Resource(int type, int name) {
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_TRUE(ReadPeResource(path, type, name, kEnglishUs, bytes, error)) << error;
        return bytes;
    }

    std::string path;
};

TEST_F(ProgramResources, LayoutTemplateAsTabled) {
    std::vector<uint8_t> bytes = Resource(kTypeDialog, IDD_LAYOUT);
    DialogTemplateReader reader(bytes.data(), bytes.size());
    DialogHeader header;
    ASSERT_EQ(reader.ReadHeader(header), TemplateOk);
    ExpectLayoutHeader(header);
    std::vector<DialogItem> items;
    DialogItem item;
    TemplateResult result;
    while ((result = reader.ReadItem(item)) == TemplateOk) {
        items.push_back(item);
    }
    EXPECT_EQ(result, TemplateNoMoreItems);
    ExpectLayoutItems(items);
}

TEST_F(ProgramResources, IconIsOne32By32ImageOf16Colours) {
    std::vector<uint8_t> group = Resource(kTypeGroupIcon, IDI_MAIN);
    ASSERT_EQ(group.size(), 6u + 14u);
    EXPECT_EQ(group[4] | (group[5] << 8), 1);    // one image
    EXPECT_EQ(group[6], 32);                     // width
    EXPECT_EQ(group[7], 32);                     // height
    EXPECT_EQ(group[8], 16);                     // colours
    EXPECT_EQ(group[12] | (group[13] << 8), 4);  // bits per pixel
    int imageId = group[18] | (group[19] << 8);

    std::vector<uint8_t> image = Resource(kTypeIcon, imageId);
    ASSERT_GE(image.size(), 40u);
    EXPECT_EQ(image[4], 32);  // width
    EXPECT_EQ(image[8], 64);  // height: colour and mask
    EXPECT_EQ(image[14], 4);  // bits per pixel
    EXPECT_EQ(image.size(), 40u + 16 * 4 + 32 * 16 + 32 * 4);
}

}  // namespace
