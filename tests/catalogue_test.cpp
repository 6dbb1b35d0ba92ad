// The catalogue reader: fields of a line, quotes, line ends and limits.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_line.h"

namespace {

class CatalogueTest : public ::testing::Test {
protected:
    void Write(const std::string& content) { bytes = content; }

    std::pair<std::string, std::string> Read(int line, int capacity = 100) {
        char artist[256], title[256];
        FindCatalogueLine(bytes.data(), bytes.size(), line, artist, capacity, title, capacity);
        return {artist, title};
    }

    using Fields = std::pair<std::string, std::string>;

    // What Read gives for one line of the file as it is now.
    struct LineFields {
        int line;
        const char* artist;
        const char* title;
    };
    void ExpectLines(std::initializer_list<LineFields> expected) {
        for (const LineFields& fields : expected) {
            EXPECT_EQ(Read(fields.line), Fields(fields.artist, fields.title))
                << "line " << fields.line;
        }
    }
    std::string bytes;
};

TEST_F(CatalogueTest, ArtistAndTitleOfALine) {
    Write("First\tOne\r\n\"Second\"\t\"Two\"\r\nThi\"rd\tT\"\"hree\r\n");
    ExpectLines({{1, "First", "One"},
                 {2, "Second", "Two"},
                 {3, "Third", "Three"},
                 {0, "First", "One"},
                 {-5, "First", "One"}});
}

TEST_F(CatalogueTest, MissingFileOrLineGivesEmptyFields) {
    char artist[8] = "zzz";
    char title[8] = "zzz";
    ReadCatalogueFrom("/nonexistent/zub.txt", 1, artist, sizeof artist, title, sizeof title);
    EXPECT_EQ(Fields(artist, title), Fields("", ""));
    Write("");
    ExpectLines({{1, "", ""}, {7, "", ""}});
    Write("A\tB\r\nC\tD\r\n");
    ExpectLines({{3, "", ""}, {100, "", ""}});
    Write("A\tB\r\nC\tD");
    ExpectLines({{2, "C", "D"}, {3, "", ""}});  // last line without line end
}

TEST_F(CatalogueTest, FieldsStayOnTheirLine) {
    // No TAB: the whole line is the artist; the next line is untouched.
    Write("Lonely\r\nNext\tLine\r\n");
    ExpectLines({{1, "Lonely", ""}, {2, "Next", "Line"}});

    // LF-only files read like CR LF files.
    Write("A1\tT1\nA2\tT2\nA3\n");
    ExpectLines({{1, "A1", "T1"}, {2, "A2", "T2"}, {3, "A3", ""}});

    // A second TAB belongs to the title.
    Write("A\tB\tC\r\n");
    EXPECT_EQ(Read(1), Fields("A", "B\tC"));
}

TEST_F(CatalogueTest, OnlyTheFirst199BytesOfALineTakePart) {
    std::string artist(150, 'a');
    std::string title(100, 't');
    Write(artist + "\t" + title + "\r\nX\tY\r\n");
    EXPECT_EQ(Read(1, 256), Fields(artist, std::string(48, 't')));
    EXPECT_EQ(Read(2), Fields("X", "Y"));

    std::string noTab(250, 'n');
    Write(noTab + "\tlate\r\n");
    EXPECT_EQ(Read(1, 256), Fields(std::string(199, 'n'), ""));
}

TEST_F(CatalogueTest, FieldsAreCutToTheCapacity) {
    Write("abcdefghij\t0123456789\r\n");
    EXPECT_EQ(Read(1, 5), Fields("abcd", "0123"));
    EXPECT_EQ(Read(1, 11), Fields("abcdefghij", "0123456789"));
    EXPECT_EQ(Read(1, 1), Fields("", ""));

    char title[4] = "zzz";
    FindCatalogueLine(bytes.data(), bytes.size(), 1, nullptr, 0, title, sizeof title);
    EXPECT_STREQ(title, "012");
    char artist[4] = "zzz";
    FindCatalogueLine(bytes.data(), bytes.size(), 1, artist, sizeof artist, nullptr, 0);
    EXPECT_STREQ(artist, "abc");
}

TEST_F(CatalogueTest, ZeroByteEndsAField) {
    Write(std::string("Ar\0tist\tTi\0tle\r\n", 16));
    EXPECT_EQ(Read(1), Fields("Ar", "Ti"));
}

}  // namespace
