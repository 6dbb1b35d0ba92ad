// zubremote's command line, reply texts and runs against a loopback server.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "changer/magazine.h"
#include "changer/magazine_copy.h"
#include "changer/status_poll.h"
#include "changer/track_notes.h"
#include "clients/zubremote/remote_client.h"
#include "link/changer_link.h"
#include "platform/window_hooks_posix.h"
#include "protocol/remote_client_socket.h"
#include "protocol/remote_commands.h"
#include "protocol/remote_names.h"
#include "protocol/remote_records.h"
#include "remote/remote_server.h"
#include "tests/support/remote_test_support.h"
#include "tests/support/reset_state.h"
#include "tests/support/sample_status.h"

namespace {

using Args = std::vector<std::string>;

bool Parse(const Args& args, RemoteClientOptions* options, std::string* error = nullptr) {
    std::string ignored;
    return ParseRemoteCommandLine(args, options, error ? error : &ignored);
}

TEST(RemoteCommandLine, CommandsAndOptions) {
    RemoteClientOptions options;
    ASSERT_TRUE(
        Parse({"--host", "changer-host", "--port", "5000", "--json", "track", "3", "5"}, &options));
    EXPECT_EQ(options.host, "changer-host");
    EXPECT_EQ(options.port, 5000);
    EXPECT_TRUE(options.json);
    EXPECT_EQ(options.command, REMOTE_PLAY_TRACK);
    EXPECT_EQ(options.disc, 3);
    EXPECT_EQ(options.track, 5);

    unsigned char request[kRemoteFullRequestSize];
    EncodeRemoteRequest(options.command, options.disc, options.track, request);
    const unsigned char expected[12] = {'2', 0, 0, 0, 3, 0, 0, 0, 5, 0, 0, 0};
    EXPECT_EQ(std::memcmp(request, expected, sizeof expected), 0);

    const std::pair<const char*, int32_t> simple[] = {
        {"next", ','},    {"pause", '-'},   {"play", '.'},     {"stop", '/'},
        {"restart", '0'}, {"shuffle", '3'}, {"position", '4'}, {"info", '5'}};
    for (const auto& entry : simple) {
        RemoteClientOptions parsed;
        ASSERT_TRUE(Parse({entry.first}, &parsed)) << entry.first;
        EXPECT_EQ(parsed.command, entry.second) << entry.first;
        EXPECT_EQ(parsed.host, "127.0.0.1");
        EXPECT_EQ(parsed.port, kRemotePort);
    }
    RemoteClientOptions disc;
    ASSERT_TRUE(Parse({"disc", "100"}, &disc));
    EXPECT_EQ(disc.command, REMOTE_PLAY_DISC);
    EXPECT_EQ(disc.disc, 100);
    RemoteClientOptions track;
    ASSERT_TRUE(Parse({"track", "1", "99"}, &track));
    EXPECT_EQ(track.disc, 1);
    EXPECT_EQ(track.track, 99);

    // scan: no number is the whole magazine, one number that slot alone.
    const std::pair<Args, std::pair<int32_t, int32_t>> scans[] = {
        {{"scan"}, {1, 100}},
        {{"scan", "5"}, {5, 5}},
        {{"scan", "3", "7"}, {3, 7}},
        {{"scan", "100", "100"}, {100, 100}},
        {{"scan", "1", "100"}, {1, 100}}};
    for (const auto& scan : scans) {
        RemoteClientOptions parsed;
        ASSERT_TRUE(Parse(scan.first, &parsed)) << ::testing::PrintToString(scan.first);
        EXPECT_EQ(parsed.command, REMOTE_SCAN);
        EXPECT_EQ(parsed.disc, scan.second.first);
        EXPECT_EQ(parsed.track, scan.second.second);
    }
}

TEST(RemoteCommandLine, Rejections) {
    const Args bad[] = {{},
                        {"dance"},
                        {"disc"},
                        {"disc", "x"},
                        {"disc", "3", "4"},
                        {"track", "3"},
                        {"track", "3", "99999999999"},
                        {"disc", "0"},
                        {"disc", "101"},
                        {"disc", "-1"},
                        {"track", "0", "5"},
                        {"track", "1", "100"},
                        {"track", "1", "0"},
                        {"position", "1"},
                        {"scan", "0"},
                        {"scan", "101"},
                        {"scan", "5", "4"},
                        {"scan", "1", "101"},
                        {"scan", "-3", "5"},
                        {"scan", "1", "2", "3"},
                        {"scan", "x"},
                        {"--port", "0", "info"},
                        {"--port", "65536", "info"},
                        {"--port"},
                        {"--host", "", "info"},
                        {"--colour", "info"}};
    for (const Args& args : bad) {
        RemoteClientOptions options;
        std::string error;
        EXPECT_FALSE(Parse(args, &options, &error)) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty());
    }
}

// The names, styles and plays commands: the text requests each sends, in
// order, or the query.
TEST(RemoteCommandLine, NamesCommands) {
    using Texts = std::vector<std::pair<int32_t, std::string>>;
    const struct {
        Args args;
        int32_t query;
        int32_t slot;
        int32_t track;
        Texts texts;
        bool json;
    } cases[] = {
        {{"set-disc", "7", "--artist", "A", "--title", "T"},
         0,
         7,
         0,
         {{REMOTE_SET_ARTIST, "A"}, {REMOTE_SET_TITLE, "T"}},
         false},
        {{"set-disc", "100", "--style", "Jazz", "--artist", ""},
         0,
         100,
         0,
         {{REMOTE_SET_DISC_STYLE, "Jazz"}, {REMOTE_SET_ARTIST, ""}},
         false},
        {{"set-track", "3", "12", "--title", "Caf\xC3\xA9", "--style", "Rock"},
         0,
         3,
         12,
         {{REMOTE_SET_TRACK_TITLE, "Caf\xC3\xA9"}, {REMOTE_SET_TRACK_STYLE, "Rock"}},
         false},
        {{"random", "--style", "Rock"}, 0, 0, 0, {{REMOTE_STYLE_SHUFFLE, "Rock"}}, false},
        {{"tracks", "9"}, REMOTE_TRACKS, 9, 0, {}, false},
        {{"tracks", "9", "--json"}, REMOTE_TRACKS, 9, 0, {}, true},
        {{"--json", "history"}, REMOTE_HISTORY, 0, 0, {}, true},
        {{"history"}, REMOTE_HISTORY, 0, 0, {}, false},
    };
    for (const auto& c : cases) {
        RemoteClientOptions options;
        std::string error;
        ASSERT_TRUE(Parse(c.args, &options, &error)) << error;
        EXPECT_EQ(options.command, c.query);
        EXPECT_EQ(options.disc, c.slot);
        EXPECT_EQ(options.track, c.track);
        EXPECT_EQ(options.json, c.json);
        Texts texts;
        for (const RemoteTextRequest& text : options.texts) {
            EXPECT_EQ(text.slot, c.slot);
            EXPECT_EQ(text.track, c.track);
            texts.push_back({text.command, text.text});
        }
        EXPECT_EQ(texts, c.texts) << ::testing::PrintToString(c.args);
    }

    // The request a text goes in: all 80 bytes, the text NUL-padded.
    unsigned char request[kRemoteRequestSize];
    std::memset(request, 0xEE, sizeof request);
    EncodeRemoteTextRequest(REMOTE_SET_TRACK_TITLE, 3, 12, "Hi", request);
    unsigned char expected[kRemoteRequestSize] = {'<', 0, 0, 0, 3, 0, 0, 0, 12, 0, 0, 0, 'H', 'i'};
    EXPECT_EQ(std::memcmp(request, expected, sizeof request), 0);
}

// Each message names the option and the problem in one line.
TEST(RemoteCommandLine, ErrorMessages) {
    const std::pair<Args, std::string> cases[] = {
        {{"--port", "65536", "info"}, "--port: 65536 is above the largest port, 65535"},
        {{"--port", "0x10", "info"}, "--port: \"0x10\" is not a whole number"},
        {{"--timeout", "0", "info"}, "--timeout: 0 is below the smallest time-out in ms, 1"},
        {{"--timeout"}, "--timeout needs a value"},
        {{"track", "3", "99999999999"}, "track: 99999999999 is above the largest track number, 99"},
        {{"disc", "0"}, "disc: 0 is below the smallest disc number, 1"},
        {{"track", "1", "100"}, "track: 100 is above the largest track number, 99"},
        {{"disc", "seven"}, "disc: \"seven\" is not a whole number"},
        {{"scan", "5", "4"}, "scan: first slot 5 is after last slot 4"},
        {{"scan", "101"}, "scan: 101 is above the largest first slot, 100"},
        {{"scan", "1", "0"}, "scan: 0 is below the smallest last slot, 1"},
        {{"scan", "1", "2", "3"}, "scan takes 0 to 2 numbers"},
        {{"--bogus", "info"}, "unknown option --bogus"},
        {{"set-disc", "0", "--artist", "A"}, "set-disc: 0 is below the smallest slot, 1"},
        {{"set-disc", "7"}, "set-disc needs --artist or --title or --style"},
        {{"set-disc", "--artist", "A"}, "set-disc takes a slot"},
        {{"set-disc", "7", "--artist"}, "set-disc: --artist needs a value"},
        {{"set-disc", "7", "--artist", "A", "--artist", "B"}, "set-disc: --artist given twice"},
        {{"set-disc", "7", "--year", "1999"}, "set-disc: unknown argument --year"},
        {{"set-disc", "7", "--artist", "a\tb"}, "set-disc: the artist holds a TAB"},
        {{"set-disc", "7", "--title", "a\"b"},
         "set-disc: the title holds a double quote, which the catalogue drops"},
        {{"set-disc", "7", "--style", std::string(32, 's')},
         "set-disc: the style is 32 bytes long; at most 31 are allowed"},
        {{"set-track", "7", "100", "--title", "T"},
         "set-track: 100 is above the largest track number, 99"},
        {{"set-track", "7", "--title", "T"}, "set-track takes a slot and a track"},
        {{"set-track", "7", "3", "--artist", "A"}, "set-track: unknown argument --artist"},
        {{"set-track", "7", "3", "--title", "a\nb"},
         "set-track: the track title holds a line break"},
        {{"set-track", "7", "3", "--title", std::string(65, 't')},
         "set-track: the track title is 65 bytes long; at most 64 are allowed"},
        {{"random"}, "random needs --style"},
        {{"random", "--style", ""}, "random: the style to shuffle is empty"},
        {{"tracks"}, "tracks takes a slot"},
        {{"tracks", "101"}, "tracks: 101 is above the largest slot, 100"},
        {{"history", "5"}, "history: unknown argument 5"},
        {{"dance"}, "unknown command dance"},
        {{}, "no command given"},
    };
    for (const auto& c : cases) {
        RemoteClientOptions options;
        std::string error;
        EXPECT_FALSE(Parse(c.first, &options, &error));
        EXPECT_EQ(error, c.second);
    }
}

// An info reply as the program sends it: texts cut to the field, zeros.
void FillInfo(unsigned char* reply, int32_t disc, int32_t track, const std::string& artist,
              const std::string& title) {
    std::memset(reply, 0, kRemoteInfoSize);
    WriteRemoteInt(reply, disc);
    WriteRemoteInt(reply + 4, track);
    std::memcpy(reply + kRemoteArtistOffset, artist.data(), artist.size());
    std::memcpy(reply + kRemoteTitleOffset, title.data(), title.size());
}

TEST(RemoteReplyText, PositionAndInfo) {
    unsigned char reply[kRemoteInfoSize] = {};
    WriteRemoteInt(reply, 12);
    WriteRemoteInt(reply + 4, 3);
    EXPECT_EQ(FormatRemoteReply(REMOTE_POSITION, reply, false), "disc 12 track 3\n");
    EXPECT_EQ(FormatRemoteReply(REMOTE_POSITION, reply, true), "{\"disc\":12,\"track\":3}\n");

    FillInfo(reply, 12, 3, "A \"B\"\\", "Title");
    EXPECT_EQ(FormatRemoteReply(REMOTE_INFO, reply, false),
              "disc 12 track 3\nartist: A \"B\"\\\ntitle: Title\n");
    EXPECT_EQ(FormatRemoteReply(REMOTE_INFO, reply, true),
              "{\"disc\":12,\"track\":3,\"artist\":\"A \\\"B\\\"\\\\\",\"title\":\"Title\"}\n");
}

// Catalogue bytes: valid UTF-8 passes, other bytes are Windows-1252; plain
// output shows control characters (escape sequences too) as '?'.
TEST(RemoteReplyText, EncodingsAndControlCharacters) {
    const struct {
        const char* artist;
        const char* plain;
        const char* json;
    } cases[] = {
        {"Caf\xC3\xA9", "Caf\xC3\xA9", "\"Caf\xC3\xA9\""},                             // UTF-8
        {"Caf\xE9 \x80", "Caf\xC3\xA9 \xE2\x82\xAC", "\"Caf\xC3\xA9 \xE2\x82\xAC\""},  // 1252
        {"\x1B[31mred\x1B[0m", "?[31mred?[0m", "\"\\u001b[31mred\\u001b[0m\""},
        {"a\tb\x7F\xC2\x9B"
         "c",
         "a?b??c",
         "\"a\\tb\x7F\xC2\x9B"
         "c\""},  // C1 CSI in UTF-8
        {"\x9D"
         "2J",
         "?2J",
         "\"\xC2\x9D"
         "2J\""},  // unassigned in 1252: a control
        {"\x9B\xA0", "\xE2\x80\xBA\xC2\xA0", "\"\xE2\x80\xBA\xC2\xA0\""},
    };
    unsigned char reply[kRemoteInfoSize];
    for (const auto& c : cases) {
        FillInfo(reply, 1, 1, c.artist, "");
        EXPECT_EQ(FormatRemoteReply(REMOTE_INFO, reply, false),
                  std::string("disc 1 track 1\nartist: ") + c.plain + "\ntitle: \n")
            << c.artist;
        EXPECT_EQ(
            FormatRemoteReply(REMOTE_INFO, reply, true),
            std::string("{\"disc\":1,\"track\":1,\"artist\":") + c.json + ",\"title\":\"\"}\n")
            << c.artist;
    }
}

RemoteStatusRecord ShuffleStatus() {
    return SampleShuffleStatus("PT", "pause due to autopause");
}

TEST(RemoteReplyText, StatusAndDiscs) {
    std::vector<unsigned char> reply(kRemoteMaxReplySize, 0);
    EncodeRemoteStatus(ShuffleStatus(), reply.data());
    EXPECT_EQ(FormatRemoteReply(REMOTE_STATUS, reply.data(), false),
              "disc 7 track 3 index 1\n"
              "status PT pause due to autopause\n"
              "mode shuffle\n"
              "track time 1:05 disc time 12:30 autopause on\n"
              "next disc 4 track 9 (3 of 40)\n"
              "changer answering, last whole reply 120 ms ago\n");
    EXPECT_EQ(
        FormatRemoteReply(REMOTE_STATUS, reply.data(), true),
        "{\"disc\":7,\"track\":3,\"index\":1,\"mode\":\"shuffle\",\"code\":\"PT\","
        "\"status\":\"pause due to autopause\",\"track_time\":65,\"disc_time\":750,"
        "\"autopause\":true,\"playlist_pos\":2,\"playlist_count\":40,"
        "\"next\":{\"disc\":4,\"track\":9},\"answering\":true,\"since_ms\":120,"
        "\"scanning\":false,\"scan_slot\":0,\"scan_last_slot\":0,\"magazine_generation\":0}\n");
    RemoteStatusRecord quiet;  // before the first poll, no playlist
    quiet.code = "  ";
    quiet.text = "(none)";
    EncodeRemoteStatus(quiet, reply.data());
    std::string text = FormatRemoteReply(REMOTE_STATUS, reply.data(), false);
    EXPECT_NE(text.find("\nnext none\nchanger not answering, no whole reply yet\n"),
              std::string::npos)
        << text;
    EXPECT_NE(FormatRemoteReply(REMOTE_STATUS, reply.data(), true).find("\"next\":null"),
              std::string::npos);

    std::fill(reply.begin(), reply.end(), 0);
    RemoteSlotRecord slot;
    slot.present = true;
    slot.id = "ZUB0000007";
    slot.firstTrack = 2;
    slot.trackCount = 11;
    slot.discSeconds = 2712;
    slot.artist = "M\xf6tley\x1b[2J";  // Windows-1252, and an escape sequence
    slot.title = "Caf\xc3\xa9";        // UTF-8
    EncodeRemoteSlot(slot, reply.data() + 6 * kRemoteSlotSize);
    EXPECT_EQ(FormatRemoteReply(REMOTE_MAGAZINE, reply.data(), false),
              "7 ZUB0000007 tracks 2-12 45:12 M\xc3\xb6tley?[2J / Caf\xc3\xa9\n");
    EXPECT_EQ(
        FormatRemoteReply(REMOTE_MAGAZINE, reply.data(), true),
        "[{\"slot\":7,\"id\":\"ZUB0000007\",\"first_track\":2,\"track_count\":11,"
        "\"disc_time\":2712,\"artist\":\"M\xc3\xb6tley\\u001b[2J\",\"title\":\"Caf\xc3\xa9\"}]\n");
    std::fill(reply.begin(), reply.end(), 0);  // an empty magazine lists nothing
    EXPECT_EQ(FormatRemoteReply(REMOTE_MAGAZINE, reply.data(), false), "");
    EXPECT_EQ(FormatRemoteReply(REMOTE_MAGAZINE, reply.data(), true), "[]\n");
}

TEST(RemoteReplyText, TracksAndHistory) {
    std::vector<unsigned char> reply(kRemoteMaxReplySize);
    RemoteTracksRecord tracks;
    tracks.slot = 7;
    tracks.firstTrack = 1;
    tracks.style = "Jazz";
    tracks.tracks = {{1, 3, "So What", ""}, {2, 0, "", "Bop"}, {3, 1, "Caf\xC3\xA9 \x1B", ""}};
    EncodeRemoteTracks(tracks, reply.data());
    std::string problem;
    EXPECT_TRUE(CheckRemoteReply(REMOTE_TRACKS, reply.data(), &problem)) << problem;
    EXPECT_EQ(FormatRemoteReply(REMOTE_TRACKS, reply.data(), false),
              "slot 7 tracks 1-3 style Jazz\n"
              "1 \"So What\" plays 3\n"
              "2 [Bop] plays 0\n"
              "3 \"Caf\xC3\xA9 ?\" plays 1\n");
    EXPECT_EQ(FormatRemoteReply(REMOTE_TRACKS, reply.data(), true),
              "{\"slot\":7,\"first_track\":1,\"track_count\":3,\"style\":\"Jazz\",\"tracks\":["
              "{\"track\":1,\"title\":\"So What\",\"style\":\"\",\"plays\":3},"
              "{\"track\":2,\"title\":\"\",\"style\":\"Bop\",\"plays\":0},"
              "{\"track\":3,\"title\":\"Caf\xC3\xA9 \\u001b\",\"style\":\"\",\"plays\":1}]}\n");
    EncodeRemoteTracks(RemoteTracksRecord{9, 0, "", {}}, reply.data());
    EXPECT_EQ(FormatRemoteReply(REMOTE_TRACKS, reply.data(), false),
              "slot 9 holds no disc with tracks\n");

    RemoteHistoryRecord history;
    history.recent = {{7, 2, 4, 1796800000, "ZUB0000007", "Blue", "Jazz"},
                      {0, 5, 1, 1796790000, "ZUB0000042", "", ""}};
    history.mostPlayed = {{7, 2, 4, 1796800000, "ZUB0000007", "Blue", "Jazz"}};
    EncodeRemoteHistory(history, reply.data());
    EXPECT_TRUE(CheckRemoteReply(REMOTE_HISTORY, reply.data(), &problem)) << problem;
    EXPECT_EQ(
        FormatRemoteReply(REMOTE_HISTORY, reply.data(), false),
        "recent plays:\n"
        "2026-12-09 07:06:40 UTC ZUB0000007 (slot 7) track 2 \"Blue\" [Jazz]\n"
        "2026-12-09 04:20:00 UTC ZUB0000042 (not in the magazine) track 5\n"
        "most played:\n"
        "4 plays ZUB0000007 (slot 7) track 2 \"Blue\" [Jazz], last 2026-12-09 07:06:40 UTC\n");
    EXPECT_EQ(FormatRemoteReply(REMOTE_HISTORY, reply.data(), true),
              "{\"recent\":[{\"slot\":7,\"disc_id\":\"ZUB0000007\",\"track\":2,\"title\":\"Blue\","
              "\"style\":\"Jazz\",\"plays\":4,\"played_at\":1796800000},{\"slot\":0,\"disc_id\":"
              "\"ZUB0000042\",\"track\":5,\"title\":\"\",\"style\":\"\",\"plays\":1,\"played_at\":"
              "1796790000}],\"most_played\":[{\"slot\":7,\"disc_id\":\"ZUB0000007\",\"track\":2,"
              "\"title\":\"Blue\",\"style\":\"Jazz\",\"plays\":4,\"played_at\":1796800000}]}\n");

    // Replies the program cannot send: counts beyond the records, records
    // beyond the count, out-of-range numbers.
    const struct {
        int32_t command;
        int offset;
        int32_t value;
        const char* problem;
    } bad[] = {
        {REMOTE_TRACKS, kRemoteTracksCountOffset, 100, "track count 100 is outside 0..99"},
        {REMOTE_TRACKS, kRemoteTracksSlotOffset, 101, "slot 101 is outside 0..100"},
        {REMOTE_TRACKS, kRemoteTracksRecordsOffset + 5 * kRemoteTrackRecordSize, 1,
         "track record 6 is beyond the count and not empty"},
        {REMOTE_HISTORY, kRemoteHistoryRecentCountOffset, 21,
         "recent play count 21 is outside 0..20"},
        {REMOTE_HISTORY, kRemoteHistoryRecordsOffset + kRemotePlayTrackOffset, 100,
         "recent play 1 track 100 is outside 0..99"},
    };
    for (const auto& c : bad) {
        EncodeRemoteTracks(tracks, reply.data());
        if (c.command == REMOTE_HISTORY) {
            EncodeRemoteHistory(history, reply.data());
        }
        WriteRemoteInt(reply.data() + c.offset, c.value);
        EXPECT_FALSE(CheckRemoteReply(c.command, reply.data(), &problem)) << c.problem;
        EXPECT_EQ(problem, c.problem);
    }
}

TEST(RemoteReplyCheck, ImpossibleStatusAndMagazineReplies) {
    std::vector<unsigned char> reply(kRemoteMaxReplySize, 0);
    std::string problem;
    EncodeRemoteStatus(ShuffleStatus(), reply.data());
    EXPECT_TRUE(CheckRemoteReply(REMOTE_STATUS, reply.data(), &problem)) << problem;
    const struct {
        int offset;
        int32_t value;
        const char* problem;
    } bad[] = {
        {kRemoteStatusModeOffset, 6, "mode 6 is outside 0..5"},
        {kRemoteStatusDiscOffset, 101, "disc 101 is outside 0..100"},
        {kRemoteStatusTrackOffset, 100, "track 100 is outside 0..99"},
        {kRemoteStatusNextDiscOffset, -1, "next disc -1 is outside 0..100"},
        {kRemoteStatusAnsweringOffset, 2, "answering 2 is outside 0..1"},
        {kRemoteStatusCodeOffset, 0x00585850, "the status code and text are not"},
    };
    for (const auto& b : bad) {
        EncodeRemoteStatus(ShuffleStatus(), reply.data());
        WriteRemoteInt(reply.data() + b.offset, b.value);
        EXPECT_FALSE(CheckRemoteReply(REMOTE_STATUS, reply.data(), &problem)) << b.problem;
        EXPECT_EQ(problem.find(b.problem), 0u) << problem;
    }
    std::memcpy(reply.data(), "HTTP/1.1 400", 12);
    EXPECT_FALSE(CheckRemoteReply(REMOTE_STATUS, reply.data(), &problem));
    EXPECT_EQ(problem.find("the server answered in HTTP"), 0u) << problem;

    std::fill(reply.begin(), reply.end(), 0);
    EXPECT_TRUE(CheckRemoteReply(REMOTE_MAGAZINE, reply.data(), &problem));
    RemoteSlotRecord slot;
    slot.present = true;
    slot.artist = std::string(kRemoteTextSize - 1, 'a');
    EncodeRemoteSlot(slot, reply.data() + 99 * kRemoteSlotSize);
    EXPECT_TRUE(CheckRemoteReply(REMOTE_MAGAZINE, reply.data(), &problem)) << problem;
    reply[99 * kRemoteSlotSize + kRemoteSlotTitleOffset + 20] = 'x';  // after the terminator
    EXPECT_FALSE(CheckRemoteReply(REMOTE_MAGAZINE, reply.data(), &problem));
    EXPECT_EQ(problem, "slot 100 is neither empty nor a disc as the program lists it");
    std::fill(reply.begin(), reply.end(), 0);
    reply[5 * kRemoteSlotSize + 40] = 1;  // an empty slot with something in it
    EXPECT_FALSE(CheckRemoteReply(REMOTE_MAGAZINE, reply.data(), &problem));
    EXPECT_EQ(problem, "slot 6 is neither empty nor a disc as the program lists it");
}

// Replies the program cannot send are refused, with what is wrong.
TEST(RemoteReplyCheck, ImpossibleReplies) {
    unsigned char reply[kRemoteInfoSize];
    std::string problem;
    for (int32_t disc : {0, 1, 100}) {
        FillInfo(reply, disc, 99, "Artist", "Title");
        EXPECT_TRUE(CheckRemoteReply(REMOTE_POSITION, reply, &problem)) << disc;
        EXPECT_TRUE(CheckRemoteReply(REMOTE_INFO, reply, &problem)) << disc;
    }
    FillInfo(reply, 0, 0, std::string(kRemoteTextSize - 1, 'a'), "");
    EXPECT_TRUE(CheckRemoteReply(REMOTE_INFO, reply, &problem));

    const struct {
        int32_t disc, track;
        const char* problem;
    } numbers[] = {{101, 1, "disc 101 is outside 0..100"},
                   {-1, 1, "disc -1 is outside 0..100"},
                   {1, 100, "track 100 is outside 0..99"},
                   {0x50545448, 0x312E312F, "the server answered in HTTP"}};
    for (const auto& n : numbers) {
        FillInfo(reply, n.disc, n.track, "", "");
        for (int32_t command : {REMOTE_POSITION, REMOTE_INFO}) {
            EXPECT_FALSE(CheckRemoteReply(command, reply, &problem));
            EXPECT_EQ(problem.find(n.problem), 0u) << problem;
        }
    }

    FillInfo(reply, 1, 1, "", "");
    std::memset(reply + kRemoteArtistOffset, 'x', kRemoteTextSize);  // no terminator
    EXPECT_FALSE(CheckRemoteReply(REMOTE_INFO, reply, &problem));
    FillInfo(reply, 1, 1, "Artist", "Title");
    reply[kRemoteTitleOffset + 10] = 'x';  // bytes after the terminator
    EXPECT_FALSE(CheckRemoteReply(REMOTE_INFO, reply, &problem));
    FillInfo(reply, 1, 1, "Artist", "Title");
    reply[kRemoteInfoSize - 1] = 1;  // the zero tail
    EXPECT_FALSE(CheckRemoteReply(REMOTE_INFO, reply, &problem));
}

// A TCP socket on a free loopback port, listening when asked; the port as
// text through port.
int LoopbackSocket(bool listening, std::string* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    if (listening) {
        EXPECT_EQ(::listen(fd, 1), 0);
    }
    EXPECT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    *port = std::to_string(ntohs(address.sin_port));
    return fd;
}

// A loopback server that takes one connection, reads the request, answers
// with the given bytes and closes. Its waits are bounded.
class OneAnswerServer {
public:
    explicit OneAnswerServer(std::string answer) : answer_(std::move(answer)) {
        listening_ = LoopbackSocket(true, &port_);
        thread_ = std::thread([this] { Serve(); });
    }
    ~OneAnswerServer() {
        thread_.join();
        ::close(listening_);
    }
    const std::string& Port() const { return port_; }

private:
    void Serve() {
        pollfd waiting = {listening_, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(kRemoteTestLimit.count())) != 1) {
            return;
        }
        int client = ::accept(listening_, nullptr, nullptr);
        unsigned char request[kRemoteFullRequestSize];
        pollfd readable = {client, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(kRemoteTestLimit.count())) == 1) {
            ::recv(client, request, sizeof request, 0);
            ::send(client, answer_.data(), answer_.size(), MSG_NOSIGNAL);
        }
        ::close(client);
    }

    std::string answer_;
    int listening_ = -1;
    std::string port_;
    std::thread thread_;
};

class RemoteClientRun : public ::testing::Test {
protected:
    void SetUp() override {
        ResetChangerState();
        ClearPlatformRecord();
        g_hCom = &line_;
        server_ = std::make_unique<RemoteServer>(PlatformSocketApi(), 0);
        server_->StartRemoteThread(kNoRemoteSocket);
        port_ = std::to_string(server_->WaitUntilListening());
    }
    void TearDown() override {
        server_->Stop();
        g_hCom = nullptr;
        ResetChangerState();
        ClearPlatformRecord();
    }

    int Run(const Args& args) {
        out_.str("");
        err_.str("");
        SocketRemoteConnection connection;
        return RunRemoteClient(args, connection, out_, err_);
    }

    WatchedLine line_;
    std::unique_ptr<RemoteServer> server_;
    std::string port_;
    std::ostringstream out_, err_;
};

TEST_F(RemoteClientRun, QueriesAndPlays) {
    ScratchWorkingDir dir;
    dir.WriteFile("zub.txt", "Artist One\tTitle One\r\nArtist Two\tTitle Two\r\n");
    g_nDisc = 2;
    g_nTrack = 7;
    EXPECT_EQ(Run({"--port", port_, "position"}), RemoteClientOk);
    EXPECT_EQ(out_.str(), "disc 2 track 7\n");
    EXPECT_EQ(Run({"--port", port_, "--json", "info"}), RemoteClientOk);
    EXPECT_EQ(out_.str(),
              "{\"disc\":2,\"track\":7,\"artist\":\"Artist Two\",\"title\":\"Title Two\"}\n");

    EXPECT_EQ(Run({"--port", port_, "status"}), RemoteClientOk);
    EXPECT_EQ(out_.str().substr(0, 23), "disc 2 track 7 index 0\n");
    FillSlot(4, 1, 9);
    EXPECT_EQ(Run({"--port", port_, "--json", "discs"}), RemoteClientOk);
    EXPECT_EQ(out_.str(),
              "[{\"slot\":4,\"id\":\"\",\"first_track\":1,\"track_count\":9,\"disc_time\":0,"
              "\"artist\":\"couldn't open zub.txt\",\"title\":\"\"}]\n");

    EXPECT_EQ(Run({"--port", port_, "track", "4", "9"}), RemoteClientOk);
    EXPECT_EQ(out_.str(), "");
    ASSERT_TRUE(line_.WaitForFrames(4));
    EXPECT_EQ(SentCommands(line_.Written()),
              (std::vector<std::string>{"01A04", "04A09", "10", "07"}));
}

TEST_F(RemoteClientRun, NoServerIsAClearFailure) {
    // A port that was free a moment ago and has nobody listening.
    std::string port;
    ::close(LoopbackSocket(false, &port));

    EXPECT_EQ(Run({"--port", port, "position"}), RemoteClientNoServer);
    EXPECT_EQ(err_.str(),
              "zubremote: cannot connect to 127.0.0.1:" + port + ": Connection refused\n");
    EXPECT_EQ(out_.str(), "");
}

TEST_F(RemoteClientRun, SilentServerIsAClearFailure) {
    // Listening but never accepting: the request is queued, no reply comes.
    std::string port;
    int silent = LoopbackSocket(true, &port);
    EXPECT_EQ(Run({"--port", port, "--timeout", "50", "info"}), RemoteClientBadReply);
    EXPECT_EQ(err_.str(), "zubremote: 127.0.0.1:" + port + ": no reply within 50 ms\n");
    ::close(silent);
}

// Answers that cannot come from the program: short, HTTP, out of range.
// Each is one line on the error output and exit code 4.
TEST_F(RemoteClientRun, WrongAnswersAreOneLineErrors) {
    std::string position8(8, '\0');
    position8[0] = 101;
    const struct {
        std::string answer;
        const char* command;
        std::string error;
    } cases[] = {
        {"abc", "position", ": connection closed after 3 of 8 bytes"},
        {"", "info", ": connection closed after 0 of 160 bytes"},
        {"HTTP/1.1 400 Bad Request\r\n\r\n", "info",
         ": the server answered in HTTP; it is not the changer controller"},
        {"HTTP/1.0 200 OK\r\n", "position",
         ": the server answered in HTTP; it is not the changer controller"},
        {position8, "position",
         " sent a reply the changer controller cannot send: disc 101 is outside 0..100"},
    };
    for (const auto& c : cases) {
        OneAnswerServer server(c.answer);
        EXPECT_EQ(Run({"--port", server.Port(), c.command}), RemoteClientBadReply) << c.error;
        EXPECT_EQ(err_.str(), "zubremote: 127.0.0.1:" + server.Port() + c.error + "\n");
        EXPECT_EQ(out_.str(), "");
    }
}

// An older program's status record ends before the scan's fields: shown
// without them. The new record shows the scan's progress.
TEST_F(RemoteClientRun, StatusRecordsOldAndNew) {
    std::vector<unsigned char> record(kRemoteStatusSize);
    RemoteStatusRecord status = SampleShuffleStatus("PL", "play");
    EncodeRemoteStatus(status, record.data());
    {
        OneAnswerServer older(std::string(record.begin(), record.begin() + kRemoteStatusShortSize));
        EXPECT_EQ(Run({"--port", older.Port(), "status"}), RemoteClientOk) << err_.str();
        EXPECT_EQ(out_.str().find("scanning"), std::string::npos);
    }
    status.scanning = 1;
    status.scanSlot = 37;
    status.scanLastSlot = 100;
    EncodeRemoteStatus(status, record.data());
    OneAnswerServer newer(std::string(record.begin(), record.end()));
    EXPECT_EQ(Run({"--port", newer.Port(), "status"}), RemoteClientOk) << err_.str();
    EXPECT_NE(out_.str().find("\nscanning slot 37 of 100\n"), std::string::npos) << out_.str();
}

// Naming a disc through the controller: the catalogue changes and the
// next info reads it. Refusals are one line: a bad name before anything is
// sent (exit 2), the controller's own (exit 4) with its reason.
TEST_F(RemoteClientRun, SetDiscNamesTheCatalogue) {
    ScratchWorkingDir dir;
    dir.WriteFile("zub.txt", "Artist One\tTitle One\nArtist Two\tTitle Two\n");
    EXPECT_EQ(Run({"--port", port_, "set-disc", "2", "--artist", "Caf\xC3\xA9", "--title", "Live"}),
              RemoteClientOk)
        << err_.str();
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(err_.str(), "");
    g_nDisc = 2;
    EXPECT_EQ(Run({"--port", port_, "--json", "info"}), RemoteClientOk);
    EXPECT_EQ(out_.str(),
              "{\"disc\":2,\"track\":0,\"artist\":\"Caf\xC3\xA9\",\"title\":\"Live\"}\n");

    EXPECT_EQ(Run({"--port", port_, "set-disc", "2", "--artist", "a\tb"}), RemoteClientUsage);
    EXPECT_EQ(err_.str(), "zubremote: set-disc: the artist holds a TAB\n");

    chmod("zub.txt", 0444);
    EXPECT_EQ(Run({"--port", port_, "set-disc", "1", "--title", "New"}), RemoteClientBadReply);
    EXPECT_EQ(err_.str(), "zubremote: cannot write zub.txt: the file is read-only\n");
    chmod("zub.txt", 0644);
    EXPECT_EQ(Run({"--port", port_, "info"}), RemoteClientOk);
    EXPECT_EQ(out_.str(), "disc 2 track 0\nartist: Caf\xC3\xA9\ntitle: Live\n");
}

// A track named and styled through the controller, read back with tracks;
// a style shuffle's count; the history. The controller's refusals exit 4.
TEST_F(RemoteClientRun, TracksStylesShuffleAndHistory) {
    FillSlot(6, 1, 4);
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        std::memcpy(g_slots[5].szDiscId, "ZUB0000006", kDiscIdLength + 1);
        PublishWholeMagazine();
    }
    EXPECT_EQ(Run({"--port", port_, "set-track", "6", "2", "--title", "Blue", "--style", "Jazz"}),
              RemoteClientOk)
        << err_.str();
    EXPECT_EQ(Run({"--port", port_, "set-disc", "6", "--style", "Rock"}), RemoteClientOk)
        << err_.str();
    ASSERT_TRUE(RecordPlay("ZUB0000006", 2, 1796800000));
    EXPECT_EQ(Run({"--port", port_, "tracks", "6"}), RemoteClientOk) << err_.str();
    EXPECT_EQ(out_.str(),
              "slot 6 tracks 1-4 style Rock\n1 plays 0\n2 \"Blue\" [Jazz] plays 1\n3 plays 0\n"
              "4 plays 0\n");
    EXPECT_EQ(Run({"--port", port_, "history", "--json"}), RemoteClientOk) << err_.str();
    EXPECT_EQ(
        out_.str().rfind("{\"recent\":[{\"slot\":6,\"disc_id\":\"ZUB0000006\",\"track\":2,", 0), 0u)
        << out_.str();

    EXPECT_EQ(Run({"--port", port_, "set-track", "6", "5", "--title", "X"}), RemoteClientBadReply);
    EXPECT_EQ(err_.str(), "zubremote: the disc in slot 6 has no track 5 (its tracks are 1-4)\n");
    EXPECT_EQ(Run({"--port", port_, "set-disc", "7", "--style", "Pop"}), RemoteClientBadReply);
    EXPECT_EQ(err_.str(), "zubremote: slot 7 holds no disc\n");

    EXPECT_EQ(Run({"--port", port_, "random", "--style", "Polka"}), RemoteClientBadReply);
    EXPECT_EQ(err_.str(), "zubremote: no track has the style Polka; the playlist is as it was\n");
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(Run({"--port", port_, "--json", "random", "--style", "Polka"}), RemoteClientBadReply);
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(Run({"--port", port_, "--json", "random", "--style", "rock"}), RemoteClientOk);
    EXPECT_EQ(out_.str(), "{\"style\":\"rock\",\"tracks\":3}\n");
}

// A bad command line gives its one-line error and a pointer to --help,
// never the whole usage text; a hostile host name is shown safely.
TEST_F(RemoteClientRun, UsageErrors) {
    EXPECT_EQ(Run({"--port", port_}), RemoteClientUsage);
    EXPECT_EQ(err_.str(), "zubremote: no command given\ntry 'zubremote --help'\n");
    EXPECT_EQ(Run({"--speed", "2", "play"}), RemoteClientUsage);
    EXPECT_EQ(err_.str(), "zubremote: unknown option --speed\ntry 'zubremote --help'\n");
    EXPECT_EQ(Run({"\x1B]0;title\x07", "play"}), RemoteClientUsage);
    EXPECT_EQ(err_.str(), "zubremote: unknown command ?]0;title?\ntry 'zubremote --help'\n");
    // Numbers the program would ignore are refused in one line before
    // anything is sent; text that is no number points to --help.
    EXPECT_EQ(Run({"--port", port_, "disc", "101"}), RemoteClientUsage);
    EXPECT_EQ(err_.str(), "zubremote: disc: 101 is above the largest disc number, 100\n");
    EXPECT_EQ(Run({"--port", port_, "track", "1", "100"}), RemoteClientUsage);
    EXPECT_EQ(err_.str(), "zubremote: track: 100 is above the largest track number, 99\n");
    EXPECT_EQ(Run({"--port", port_, "scan", "9", "2"}), RemoteClientUsage);
    EXPECT_EQ(err_.str(), "zubremote: scan: first slot 9 is after last slot 2\n");
    EXPECT_EQ(Run({"--port", port_, "scan", "0"}), RemoteClientUsage);
    EXPECT_EQ(err_.str(), "zubremote: scan: 0 is below the smallest first slot, 1\n");
    EXPECT_EQ(Run({"--port", port_, "disc", "x7"}), RemoteClientUsage);
    EXPECT_EQ(err_.str(),
              "zubremote: disc: \"x7\" is not a whole number\ntry 'zubremote --help'\n");
    EXPECT_EQ(Run({"--help"}), RemoteClientOk);
    EXPECT_NE(out_.str().find("track D T"), std::string::npos);
    EXPECT_EQ(err_.str(), "");
}

}  // namespace
