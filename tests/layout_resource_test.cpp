// The resources of the built program, read back out of zubcd.exe: the
// layout template against the layout table, the icon's format and the
// version information. The
// program's path comes from ZUB_WIN_EXE; without it the checks are skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/support/layout_table.h"
#include "tests/support/pe_resource.h"
#include "ui/dialog_template.h"
#include "zub_version.h"

namespace {

const int kTypeIcon = 3;
const int kTypeDialog = 5;
const int kTypeGroupIcon = 14;
const int kTypeVersion = 16;
const int kVersionInfoId = 1;
const int kEnglishUs = 1033;

uint32_t Dword(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
           (uint32_t(bytes[at + 3]) << 24);
}

// The value of a string of the version information: the UTF-16 key, its
// terminator, zero padding to four bytes, then the UTF-16 value. Empty when
// the key is not there.
std::string VersionString(const std::vector<uint8_t>& bytes, const std::string& key) {
    std::vector<uint8_t> pattern;
    for (char c : key) {
        pattern.push_back(uint8_t(c));
        pattern.push_back(0);
    }
    pattern.push_back(0);
    pattern.push_back(0);
    for (size_t at = 0; at + pattern.size() <= bytes.size(); at += 2) {
        if (!std::equal(pattern.begin(), pattern.end(), bytes.begin() + at)) {
            continue;
        }
        size_t value = at + pattern.size();
        value = (value + 3) & ~size_t(3);
        std::string text;
        for (; value + 1 < bytes.size() && (bytes[value] | bytes[value + 1]) != 0; value += 2) {
            text += char(bytes[value]);
        }
        return text;
    }
    return "";
}

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

// The fixed part follows the 38-byte header "VS_VERSION_INFO", padded to 40.
TEST_F(ProgramResources, VersionInfoCarriesTheProjectVersion) {
    std::vector<uint8_t> info = Resource(kTypeVersion, kVersionInfoId);
    ASSERT_GE(info.size(), 40u + 52u);
    EXPECT_EQ(Dword(info, 40), 0xFEEF04BDu);  // signature
    uint32_t versionHigh = (ZUB_VERSION_MAJOR << 16) | ZUB_VERSION_MINOR;
    uint32_t versionLow = ZUB_VERSION_PATCH << 16;
    EXPECT_EQ(Dword(info, 48), versionHigh);  // file version
    EXPECT_EQ(Dword(info, 52), versionLow);
    EXPECT_EQ(Dword(info, 56), versionHigh);  // product version
    EXPECT_EQ(Dword(info, 60), versionLow);
    EXPECT_EQ(VersionString(info, "FileVersion"), ZUB_VERSION);
    EXPECT_EQ(VersionString(info, "ProductVersion"), ZUB_VERSION);
    EXPECT_EQ(VersionString(info, "OriginalFilename"), "zubcd.exe");
}

}  // namespace
