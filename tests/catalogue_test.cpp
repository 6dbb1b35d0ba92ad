// The catalogue reader: fields of a line, quotes, line ends and limits.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_edit.h"
#include "catalogue/catalogue_line.h"
#include "catalogue/catalogue_write.h"
#include "platform/file_replace.h"
#include "protocol/remote_name_check.h"

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

// Setting a slot's names: the new file's bytes for each kind of file.
TEST(CatalogueEditTest, NewBytesKeepEveryOtherLineAndTheFilesForm) {
    const std::string keep = "\x01keep";  // marks a field that is not set
    struct Case {
        const char* what;
        std::string file;
        int slot;
        std::string artist;
        std::string title;
        std::string expected;
    };
    const std::string eAcute = "\xC3\xA9";        // U+00E9, in Windows-1252 0xE9
    const std::string zhe = "\xD0\x96";           // U+0416, not in Windows-1252
    const std::string note = "\xF0\x9F\x8E\xB5";  // U+1F3B5
    const Case cases[] = {
        {"LF", "A1\tT1\nA2\tT2\nA3\tT3\n", 2, "New", "Name", "A1\tT1\nNew\tName\nA3\tT3\n"},
        {"CR LF", "A1\tT1\r\nA2\tT2\r\n", 1, "New", "Name", "New\tName\r\nA2\tT2\r\n"},
        {"CR only", "A1\tT1\rA2\tT2\r", 2, "X", "Y", "A1\tT1\rX\tY\r"},
        {"last line without line end", "A1\tT1\r\nA2\tT2", 2, "X", "Y", "A1\tT1\r\nX\tY"},
        {"past a last line without line end", "A1\tT1\nA2", 4, "X", "Y", "A1\tT1\nA2\n\nX\tY\n"},
        {"shorter than the slot", "A1\tT1\r\n", 3, "X", "Y", "A1\tT1\r\n\r\nX\tY\r\n"},
        {"added lines take the last line end, never joining a lone CR", "A\nB\r", 4, "X", "Y",
         "A\nB\r\rX\tY\r"},
        {"the line just after the last", "A1\tT1\r\n", 2, "X", "Y", "A1\tT1\r\nX\tY\r\n"},
        {"empty file", "", 2, "X", "Y", "\r\nX\tY\r\n"},
        {"fields after the title stay", "A\tT\tyear\tnote\r\n", 1, "X", "Y",
         "X\tY\tyear\tnote\r\n"},
        {"line without TAB", "Lonely\r\nB\r\n", 1, "X", "Y", "X\tY\r\nB\r\n"},
        {"artist only", "A\tOld \xE9\r\n", 1, "X", keep, "X\tOld \xE9\r\n"},
        {"title only", "A\tT\tmore\r\n", 1, keep, "Y", "A\tY\tmore\r\n"},
        {"clearing", "A\tT\r\n", 1, "", "", "\t\r\n"},
        {"Windows-1252 name", "A\tT\r\n\xC4\tx\r\n", 1, "Caf" + eAcute, "\xE2\x82\xAC",
         "Caf\xE9\t\x80\r\n\xC4\tx\r\n"},
        {"name beyond Windows-1252 goes in UTF-8", "A\tT\r\n\xC4\tx\r\n", 1, zhe + eAcute, "T",
         zhe + eAcute + "\tT\r\n\xC4\tx\r\n"},
        {"UTF-8 file without mark stays UTF-8", "A\tT\n" + eAcute + "\tx\n", 1, "Caf" + eAcute, "T",
         "Caf" + eAcute + "\tT\n" + eAcute + "\tx\n"},
        {"UTF-8 with mark",
         "\xEF\xBB\xBF"
         "A\tT\r\nB\tU\r\n",
         2, "Caf" + eAcute, note,
         "\xEF\xBB\xBF"
         "A\tT\r\nCaf" +
             eAcute + "\t" + note + "\r\n"},
        {"UTF-16 little-endian",
         std::string("\xFF\xFE"
                     "A\0\t\0T\0\r\0\n\0",
                     12),
         1, eAcute + zhe, note,
         std::string("\xFF\xFE\xE9\0\x16\x04\t\0\x3C\xD8\xB5\xDF\r\0\n\0", 16)},
        {"UTF-16 big-endian, shorter than the slot", std::string("\xFE\xFF\0A\0\n", 6), 2, "X", "Y",
         std::string("\xFE\xFF\0A\0\n\0X\0\t\0Y\0\n", 14)},
    };
    for (const Case& c : cases) {
        const std::string* artist = c.artist == keep ? nullptr : &c.artist;
        const std::string* title = c.title == keep ? nullptr : &c.title;
        CatalogueEdit edit = EditCatalogueNames(c.file, c.slot, artist, title);
        EXPECT_EQ(edit.error, "") << c.what;
        EXPECT_EQ(edit.bytes, c.expected) << c.what;
    }
}

// What the reader finds after an edit, every other line unchanged.
TEST(CatalogueEditTest, TheReaderFindsTheNewNames) {
    const std::string file = "A1\tT1\r\n\"Q\"\tx\r\nA3\tT3";
    const std::string artist = "Caf\xC3\xA9";
    const std::string title = "Live";
    CatalogueEdit edit = EditCatalogueNames(file, 3, &artist, &title);
    ASSERT_EQ(edit.error, "");
    for (int line = 1; line <= 4; ++line) {
        char oldArtist[200], oldTitle[200], newArtist[200], newTitle[200];
        FindCatalogueLine(file.data(), file.size(), line, oldArtist, 200, oldTitle, 200);
        FindCatalogueLine(edit.bytes.data(), edit.bytes.size(), line, newArtist, 200, newTitle,
                          200);
        if (line == 3) {
            EXPECT_STREQ(newArtist, "Caf\xE9");
            EXPECT_STREQ(newTitle, "Live");
        } else {
            EXPECT_STREQ(newArtist, oldArtist) << line;
            EXPECT_STREQ(newTitle, oldTitle) << line;
        }
    }
}

// Names, slots and tracks that cannot be set: refused with why, nothing
// written.
TEST(CatalogueEditTest, BadNamesSlotsAndTracksAreRefused) {
    struct Case {
        RemoteNameKind kind;
        std::string text;
        const char* problem;  // "" for a good name
    };
    const Case names[] = {
        {NameArtist, "Plain Name", ""},
        {NameArtist, "", ""},
        {NameArtist, std::string(64, 'a'), ""},
        {NameArtist, std::string(65, 'a'), "the artist is 65 bytes long; at most 64 are allowed"},
        {NameTrackTitle, std::string(70, 't'),
         "the track title is 70 bytes long; at most 64 are allowed"},
        {NameStyle, std::string(31, 's'), ""},
        {NameStyle, std::string(32, 's'), "the style is 32 bytes long; at most 31 are allowed"},
        {NameDiscTitle, "a\tb", "the title holds a TAB"},
        {NameDiscTitle, "a\nb", "the title holds a line break"},
        {NameStyle, "a\rb", "the style holds a line break"},
        {NameArtist, std::string("a\0b", 3), "the artist holds a control character"},
        {NameArtist, "a\x7F", "the artist holds a control character"},
        {NameArtist, "a\xC2\x85", "the artist holds a control character"},
        {NameArtist, "a\xE9", "the artist is not UTF-8 text"},
        {NameArtist, "a\xC0\xAF", "the artist is not UTF-8 text"},
        {NameArtist, "a\"b", "the artist holds a double quote, which the catalogue drops"},
        {NameTrackTitle, "a\"b", ""},
    };
    for (const Case& c : names) {
        EXPECT_EQ(CheckRemoteName(c.kind, c.text), c.problem) << c.text;
    }

    struct TrackCase {
        int64_t slot;
        int64_t track;
        int first;
        int count;
        const char* problem;
    };
    const TrackCase tracks[] = {
        {1, 1, 1, 12, ""},
        {100, 12, 1, 12, ""},
        {0, 1, 1, 12, "slot 0 does not exist (slots are 1..100)"},
        {101, 1, 1, 12, "slot 101 does not exist (slots are 1..100)"},
        {5, 0, 1, 12, "track 0 does not exist (tracks are 1..99)"},
        {5, 100, 1, 12, "track 100 does not exist (tracks are 1..99)"},
        {5, 13, 1, 12, "the disc in slot 5 has no track 13 (its tracks are 1-12)"},
        {5, 1, 2, 12, "the disc in slot 5 has no track 1 (its tracks are 2-13)"},
        {5, 1, 0, 0, "slot 5 holds no disc with tracks"},
    };
    for (const TrackCase& c : tracks) {
        EXPECT_EQ(CheckTrackOnDisc(c.slot, c.track, c.first, c.count), c.problem)
            << c.slot << "/" << c.track;
    }

    const std::string good = "Good";
    const std::string tab = "a\tb";
    const std::string file = "A\tT\r\n";
    struct EditCase {
        int slot;
        const std::string* artist;
        const std::string* title;
        const char* problem;
    };
    const std::string longArtist = std::string(150, 'a') + "\t" + std::string(60, 't') + "\r\n";
    const EditCase edits[] = {
        {0, &good, &good, "slot 0 does not exist (slots are 1..100)"},
        {101, &good, &good, "slot 101 does not exist (slots are 1..100)"},
        {1, &tab, &good, "the artist holds a TAB"},
        {1, &good, &tab, "the title holds a TAB"},
    };
    for (const EditCase& c : edits) {
        CatalogueEdit edit = EditCatalogueNames(file, c.slot, c.artist, c.title);
        EXPECT_EQ(edit.error, c.problem);
        EXPECT_EQ(edit.bytes, "");
    }
    // A kept field so long that the new line would be cut by the reader.
    std::string title(64, 't');
    CatalogueEdit edit = EditCatalogueNames(std::string(150, 'a') + "\tT\r\n", 1, nullptr, &title);
    EXPECT_EQ(edit.error, "the line would hold 215 characters; the catalogue reads 198");
    EXPECT_EQ(edit.bytes, "");
}

// The edit on disk: the file replaced at once, or, when it cannot be
// written, left as it was with no file beside it.
class CatalogueFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zub-catalogue-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        path = folder + "/zub.txt";
    }
    void TearDown() override {
        chmod(folder.c_str(), 0755);
        std::remove(path.c_str());
        std::remove((path + kReplaceTempSuffix).c_str());
        rmdir(folder.c_str());
    }
    void Put(const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    std::string Get() {
        std::ifstream in(path, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    bool TempLeft() { return access((path + kReplaceTempSuffix).c_str(), F_OK) == 0; }

    std::string folder;
    std::string path;
};

TEST_F(CatalogueFileTest, WritesAndFailures) {
    const std::string artist = "New";
    const std::string title = "Name";
    const std::string old = "A1\tT1\r\nA2\tT2\r\n";
    struct Case {
        const char* what;
        void (*prepare)(const std::string& folder, const std::string& path);
        bool written;
        const char* error;  // how the message starts
    };
    const Case cases[] = {
        {"a writable file", [](const std::string&, const std::string&) {}, true, ""},
        {"no file yet",
         [](const std::string&, const std::string& path) { std::remove(path.c_str()); }, true, ""},
        {"a read-only file",
         [](const std::string&, const std::string& path) { chmod(path.c_str(), 0444); }, false,
         "cannot write "},
        {"a stale file beside it",
         [](const std::string&, const std::string& path) {
             std::ofstream(path + kReplaceTempSuffix) << "stale";
         },
         true, ""},
    };
    for (const Case& c : cases) {
        Put(old);
        chmod(path.c_str(), 0644);
        c.prepare(folder, path);
        bool existed = access(path.c_str(), F_OK) == 0;
        std::string error = SetCatalogueNames(path, 2, &artist, &title);
        if (c.written) {
            EXPECT_EQ(error, "") << c.what;
            EXPECT_EQ(Get(), existed ? "A1\tT1\r\nNew\tName\r\n" : "\r\nNew\tName\r\n") << c.what;
        } else {
            EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.what << ": " << error;
            EXPECT_EQ(Get(), old) << c.what;
        }
        EXPECT_FALSE(TempLeft()) << c.what;
        chmod(path.c_str(), 0644);
    }

    // The folder gone: a clear error, nothing created.
    std::string gone = folder + "/gone/zub.txt";
    std::string error = SetCatalogueNames(gone, 1, &artist, &title);
    EXPECT_EQ(error.rfind("cannot write " + gone + ": ", 0), 0u) << error;
    EXPECT_NE(access((folder + "/gone").c_str(), F_OK), 0);

    // A read-only folder (only where permissions bind this user).
    if (geteuid() != 0) {
        Put(old);
        chmod(folder.c_str(), 0555);
        error = SetCatalogueNames(path, 1, &artist, &title);
        EXPECT_EQ(error.rfind("cannot write ", 0), 0u) << error;
        EXPECT_EQ(Get(), old);
        EXPECT_FALSE(TempLeft());
        chmod(folder.c_str(), 0755);
    }

    // A refused name writes nothing.
    Put(old);
    const std::string bad = "a\nb";
    EXPECT_EQ(SetCatalogueNames(path, 1, &bad, &title), "the artist holds a line break");
    EXPECT_EQ(Get(), old);
}

}  // namespace
