// The catalogue reader: fields of a line, quotes, line ends and limits.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

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

    // LF-only files read like CR LF files, and so do CR-only files; the
    // three line ends may mix.
    Write("A1\tT1\nA2\tT2\nA3\n");
    ExpectLines({{1, "A1", "T1"}, {2, "A2", "T2"}, {3, "A3", ""}});
    Write("A1\tT1\rA2\tT2\rA3\r");
    ExpectLines({{1, "A1", "T1"}, {2, "A2", "T2"}, {3, "A3", ""}, {4, "", ""}});
    Write("A1\tT1\rA2\tT2\r\nA3\tT3\n\rA5\tT5");
    ExpectLines({{1, "A1", "T1"}, {2, "A2", "T2"}, {3, "A3", "T3"}, {4, "", ""}, {5, "A5", "T5"}});
    Write("A1\r\n\r\nA3\tT3\r\n");  // an empty line in CR LF stays one line
    ExpectLines({{1, "A1", ""}, {2, "", ""}, {3, "A3", "T3"}});

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

// Whatever the artist's length, the title is what the line's first 199
// bytes hold after the TAB, cut to its field: the scan's 100-byte cells and
// the remote's 50-byte fields alike.
TEST_F(CatalogueTest, LongArtistKeepsTheTitleTheLineHolds) {
    struct Case {
        size_t artistLength;
        int capacity;
        std::string title;
    };
    const std::string title = "The Title";
    const Case cases[] = {
        {98, 100, title},  {99, 100, title},       {100, 100, title}, {150, 100, title},
        {189, 100, title}, {190, 100, "The Titl"}, {197, 100, "T"},   {198, 100, ""},
        {100, 50, title},  {150, 50, title},       {197, 50, "T"},
    };
    for (const Case& c : cases) {
        Write(std::string(c.artistLength, 'a') + "\t" + title + "\r\nX\tY\r\n");
        size_t artistKept =
            c.artistLength < size_t(c.capacity - 1) ? c.artistLength : size_t(c.capacity - 1);
        EXPECT_EQ(Read(1, c.capacity), Fields(std::string(artistKept, 'a'), c.title))
            << c.artistLength << " at " << c.capacity;
        EXPECT_EQ(Read(2, c.capacity), Fields("X", "Y"));
    }
}

// A UTF-8 byte-order mark is skipped; UTF-16 with either mark reads as the
// same lines and fields in Windows-1252, '?' for what has no byte there.
TEST_F(CatalogueTest, ByteOrderMarksAndUtf16) {
    Write("\xEF\xBB\xBF\xC3\x89t\xC3\xA9\tOne\r\nB\tTwo\r\n");
    ExpectLines({{1, "\xC3\x89t\xC3\xA9", "One"}, {2, "B", "Two"}});

    // U+00C9, U+20AC, U+0416 (no byte), a surrogate pair, a lone surrogate.
    const std::vector<uint16_t> units = {'A',    0x00C9, 0x20AC, '\t', 'T',  0x0416,
                                         0xD83C, 0xDFB5, 0xDC00, '\r', '\n', '"',
                                         'B',    '"',    '\t',   'U',  '\r', '\n'};
    for (bool bigEndian : {false, true}) {
        std::string content = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (uint16_t unit : units) {
            char high = static_cast<char>(unit >> 8);
            char low = static_cast<char>(unit & 0xFF);
            content += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        Write(content);
        ExpectLines({{1, "A\xC9\x80", "T???"}, {2, "B", "U"}, {3, "", ""}});
        Write(content + "X");  // an odd last byte is no character
        ExpectLines({{2, "B", "U"}, {3, "", ""}});
    }
    Write("\xFF\xFE");
    ExpectLines({{1, "", ""}});
    Write("\xFF");
    ExpectLines({{1, "\xFF", ""}});
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
