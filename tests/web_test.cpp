// zubweb's portable part: catalogue texts to UTF-8, the JSON it serves and
// accepts, its options, the link's back-off and the status thread's view;
// and its routes for several changers over loopback.
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "changer/status_poll.h"
#include "clients/zubweb/status_watch.h"
#include "clients/zubweb/web_json.h"
#include "clients/zubweb/web_names.h"
#include "clients/zubweb/web_options.h"
#include "clients/zubweb/web_routes.h"
#include "clients/zubweb/web_server.h"
#include "clients/zubweb/web_service.h"
#include "clients/zubweb/zub_link.h"
#include "protocol/remote_records.h"
#include "tests/support/fake_controller_posix.h"
#include "tests/support/sample_status.h"

namespace {

using nlohmann::json;

WebStatus PlayingStatus() {
    WebStatus web;
    web.reachable = true;
    web.status = SampleShuffleStatus("PL", "play");
    web.artist = "The \"Quoted\" \\ Band";
    web.title = "Caf\xe9 \xc0 la carte";  // Windows-1252
    return web;
}

TEST(WebJson, StatusCarriesEveryFieldWithEscapes) {
    std::string text = StatusJson(PlayingStatus());
    EXPECT_EQ(text.find('\n'), std::string::npos);  // one line: one event
    EXPECT_NE(text.find(R"("artist":"The \"Quoted\" \\ Band")"), std::string::npos) << text;
    json s = json::parse(text);
    EXPECT_EQ(s["reachable"], true);
    EXPECT_EQ(s["answering"], true);
    EXPECT_EQ(s["since_ms"], 120);
    EXPECT_EQ(s["mode"], "shuffle");
    EXPECT_EQ(s["code"], "PL");
    EXPECT_EQ(s["status"], "play");
    EXPECT_EQ(s["disc"], 7);
    EXPECT_EQ(s["track"], 3);
    EXPECT_EQ(s["index"], 1);
    EXPECT_EQ(s["track_time"], 65);
    EXPECT_EQ(s["disc_time"], 750);
    EXPECT_EQ(s["autopause"], true);
    EXPECT_EQ(s["playlist_pos"], 2);
    EXPECT_EQ(s["playlist_count"], 40);
    EXPECT_EQ(s["next"], (json{{"disc", 4}, {"track", 9}}));
    EXPECT_EQ(s["artist"], "The \"Quoted\" \\ Band");
    EXPECT_EQ(s["title"], "Caf\xc3\xa9 \xc3\x80 la carte");
    EXPECT_EQ(s["scan_first_slot"], 0);

    WebStatus none = PlayingStatus();
    none.status.nextDisc = 0;
    none.status.mode = 77;
    none.status.text = "odd\x02\xff";  // a faulty peer's bytes still make valid JSON
    json t = json::parse(StatusJson(none));
    EXPECT_TRUE(t["next"].is_null());
    EXPECT_EQ(t["mode"], "unknown");
    EXPECT_EQ(t["status"], "odd\x02\xc3\xbf");

    json gone = json::parse(StatusJson(WebStatus()));
    EXPECT_EQ(gone["reachable"], false);
    EXPECT_EQ(gone["error"], "controller not reachable");
}

// The events of several changers: the same object with "changer" first;
// without an index the bytes stay those of one changer.
TEST(WebJson, EventsCarryTheChangersIndex) {
    const struct {
        bool reachable;
        int changer;
        const char* starts;
    } cases[] = {
        {false, -1, R"({"reachable":false,"error":"controller not reachable"})"},
        {false, 0, R"({"changer":0,"reachable":false,"error":"controller not reachable"})"},
        {false, 7, R"({"changer":7,"reachable":false,"error":"controller not reachable"})"},
        {true, -1, R"({"reachable":true,"disc":7,)"},
        {true, 1, R"({"changer":1,"reachable":true,"disc":7,)"},
    };
    for (const auto& c : cases) {
        WebStatus status = c.reachable ? PlayingStatus() : WebStatus();
        std::string text = StatusJson(status, c.changer);
        EXPECT_EQ(text.compare(0, std::string(c.starts).size(), c.starts), 0) << text;
        if (c.changer >= 0) {
            std::string alone = StatusJson(status);
            std::string field = "\"changer\":" + std::to_string(c.changer) + ",";
            EXPECT_EQ(text, "{" + field + alone.substr(1)) << text;
        }
    }
}

TEST(WebJson, ChangersListed) {
    EXPECT_EQ(ChangersJson({}), "[]");
    // The tab names as the page's script holds them.
    EXPECT_EQ(ScriptJsonTexts({}), "[]");
    EXPECT_EQ(ScriptJsonTexts({"Attic", "</script><b>\"x\"", "127.0.0.1:4240"}),
              R"(["Attic","\u003c/script>\u003cb>\"x\"","127.0.0.1:4240"])");
    EXPECT_EQ(ScriptJsonTexts({"bad \xff"}), "[\"bad \xef\xbf\xbd\"]");
    WebChangerListing attic;
    attic.index = 0;
    attic.name = "Attic <\"A\">";
    attic.host = "127.0.0.1";
    attic.port = 4239;
    attic.reachable = true;
    WebChangerListing second;
    second.index = 1;
    second.name = "127.0.0.1:4240";
    second.host = "127.0.0.1";
    second.port = 4240;
    EXPECT_EQ(ChangersJson({attic, second}),
              R"([{"index":0,"name":"Attic <\"A\">","host":"127.0.0.1","port":4239,)"
              R"("reachable":true},{"index":1,"name":"127.0.0.1:4240","host":"127.0.0.1",)"
              R"("port":4240,"reachable":false}])");
}

// The routes of several changers: the list, the stream of all, and
// /api/changers/K/... for a K below the count.
TEST(WebRoutes, ChangerPathsAndBadIndexes) {
    const struct {
        const char* method;
        std::string path;
        int count;
        ChangerRoute route;
        int index;
        int status;
        const char* error;
    } cases[] = {
        {"GET", "/api/changers", 2, ChangerRoute::kList, -1, 200, ""},
        {"GET", "/api/changers/", 2, ChangerRoute::kList, -1, 200, ""},
        {"GET", "/api/changers/events", 2, ChangerRoute::kAllEvents, -1, 200, ""},
        {"GET", "/api/changers/0/status", 2, ChangerRoute::kStatus, 0, 200, ""},
        {"GET", "/api/changers/1/status", 2, ChangerRoute::kStatus, 1, 200, ""},
        {"GET", "/api/changers/1/discs", 2, ChangerRoute::kDiscs, 1, 200, ""},
        {"POST", "/api/changers/1/command", 2, ChangerRoute::kCommand, 1, 200, ""},
        {"POST", "/api/changers/1/scan", 2, ChangerRoute::kScan, 1, 200, ""},
        {"GET", "/api/changers/1/events", 2, ChangerRoute::kEvents, 1, 200, ""},
        {"GET", "/api/changers/7/events", 8, ChangerRoute::kEvents, 7, 200, ""},
        {"GET", "/api/changers/0/status", 1, ChangerRoute::kStatus, 0, 200, ""},
        // The names routes, matched further by MatchNamesRoute.
        {"GET", "/api/changers/1/discs/7/tracks", 2, ChangerRoute::kNames, 1, 200, ""},
        {"POST", "/api/changers/0/discs/7", 2, ChangerRoute::kNames, 0, 200, ""},
        {"POST", "/api/changers/1/random", 2, ChangerRoute::kNames, 1, 200, ""},
        {"GET", "/api/changers/1/history", 2, ChangerRoute::kNames, 1, 200, ""},
        {"GET", "/api/changers/1/styles", 2, ChangerRoute::kNames, 1, 200, ""},
        {"GET", "/api/changers/2/history", 2, ChangerRoute::kNone, -1, 404,
         "no changer 2: changers are 0 to 1"},
        // Bad indexes.
        {"GET", "/api/changers/2/status", 2, ChangerRoute::kNone, -1, 404,
         "no changer 2: changers are 0 to 1"},
        {"GET", "/api/changers/1/status", 1, ChangerRoute::kNone, -1, 404,
         "no changer 1: the only changer is 0"},
        {"GET", "/api/changers/9999/status", 8, ChangerRoute::kNone, -1, 404,
         "no changer 9999: changers are 0 to 7"},
        {"GET", "/api/changers/10000/status", 8, ChangerRoute::kNone, -1, 404,
         "'10000' is not a changer: changers are 0 to 7"},
        {"GET", "/api/changers/99999999999999999999/status", 8, ChangerRoute::kNone, -1, 404,
         "'99999999999999999999' is not a changer: changers are 0 to 7"},
        {"GET", "/api/changers/-1/status", 2, ChangerRoute::kNone, -1, 404,
         "'-1' is not a changer: changers are 0 to 1"},
        {"GET", "/api/changers/01/status", 2, ChangerRoute::kNone, -1, 404,
         "'01' is not a changer: changers are 0 to 1"},
        {"GET", "/api/changers/+1/status", 2, ChangerRoute::kNone, -1, 404,
         "'+1' is not a changer: changers are 0 to 1"},
        {"GET", "/api/changers/one/status", 2, ChangerRoute::kNone, -1, 404,
         "'one' is not a changer: changers are 0 to 1"},
        {"GET", "/api/changers//status", 2, ChangerRoute::kNone, -1, 404,
         "'' is not a changer: changers are 0 to 1"},
        {"GET", "/api/changers/1 /status", 2, ChangerRoute::kNone, -1, 404,
         "'1 ' is not a changer: changers are 0 to 1"},
        {"GET", "/api/changers/" + std::string(100, 'x'), 2, ChangerRoute::kNone, -1, 404, nullptr},
        // Good indexes, wrong routes or methods.
        {"GET", "/api/changers/1", 2, ChangerRoute::kNone, -1, 404, "no such route"},
        {"GET", "/api/changers/1/", 2, ChangerRoute::kNone, -1, 404, "no such route"},
        {"GET", "/api/changers/1/play", 2, ChangerRoute::kNone, -1, 404, "no such route"},
        {"GET", "/api/changers/1/status/x", 2, ChangerRoute::kNone, -1, 404, "no such route"},
        {"GET", "/api/changersx", 2, ChangerRoute::kNone, -1, 404, "no such route"},
        {"GET", "/api/status", 2, ChangerRoute::kNone, -1, 404, "no such route"},
        {"POST", "/api/changers/1/status", 2, ChangerRoute::kNone, -1, 405, "use GET here"},
        {"GET", "/api/changers/1/command", 2, ChangerRoute::kNone, -1, 405, "use POST here"},
        {"POST", "/api/changers", 2, ChangerRoute::kNone, -1, 405, "use GET here"},
        {"POST", "/api/changers/events", 2, ChangerRoute::kNone, -1, 405, "use GET here"},
    };
    for (const auto& c : cases) {
        ChangerRouteMatch match = MatchChangerRoute(c.method, c.path, c.count);
        std::string what = std::string(c.method) + " " + c.path;
        EXPECT_EQ(match.route, c.route) << what;
        EXPECT_EQ(match.index, c.index) << what;
        EXPECT_EQ(match.status, c.status) << what;
        if (c.error != nullptr) {
            EXPECT_EQ(match.error, c.error) << what;
        } else {
            EXPECT_LT(match.error.size(), 100u) << what;  // the path is cut short in it
        }
    }
}

TEST(WebNames, PathsBodiesAndLimits) {
    const struct {
        const char* method;
        const char* rest;
        NamesRoute route;
        int slot;
        int track;
        int status;
        const char* error;
    } routes[] = {
        {"GET", "discs/7/tracks", NamesRoute::kTracks, 7, 0, 200, ""},
        {"POST", "discs/100", NamesRoute::kSetDisc, 100, 0, 200, ""},
        {"POST", "discs/1/tracks/99", NamesRoute::kSetTrack, 1, 99, 200, ""},
        {"POST", "random", NamesRoute::kRandom, 0, 0, 200, ""},
        {"GET", "history", NamesRoute::kHistory, 0, 0, 200, ""},
        {"GET", "styles", NamesRoute::kStyles, 0, 0, 200, ""},
        {"POST", "styles", NamesRoute::kNone, 0, 0, 405, "use GET here"},
        {"GET", "discs/0/tracks", NamesRoute::kNone, 0, 0, 400,
         "slot 0 does not exist (slots are 1..100)"},
        {"GET", "discs/101/tracks", NamesRoute::kNone, 0, 0, 400,
         "slot 101 does not exist (slots are 1..100)"},
        {"GET", "discs/07/tracks", NamesRoute::kNone, 0, 0, 404, "no such route"},
        {"GET", "discs/1000/tracks", NamesRoute::kNone, 0, 0, 404, "no such route"},
        {"POST", "discs/7/tracks/100", NamesRoute::kNone, 0, 0, 400,
         "track 100 does not exist (tracks are 1..99)"},
        {"POST", "discs/7/tracks/0", NamesRoute::kNone, 0, 0, 400,
         "track 0 does not exist (tracks are 1..99)"},
        {"POST", "discs/7/tracks/x", NamesRoute::kNone, 0, 0, 404, "no such route"},
        {"GET", "discs/7/names", NamesRoute::kNone, 0, 0, 404, "no such route"},
        {"GET", "discs/7/tracks/3/x", NamesRoute::kNone, 0, 0, 404, "no such route"},
        {"GET", "discs/7", NamesRoute::kNone, 0, 0, 405, "use POST here"},
        {"GET", "random", NamesRoute::kNone, 0, 0, 405, "use POST here"},
        {"POST", "history", NamesRoute::kNone, 0, 0, 405, "use GET here"},
        {"POST", "discs/7/tracks", NamesRoute::kNone, 0, 0, 405, "use GET here"},
    };
    for (const auto& c : routes) {
        NamesRouteMatch match = MatchNamesRoute(c.method, c.rest);
        std::string what = std::string(c.method) + " " + c.rest;
        EXPECT_EQ(match.route, c.route) << what;
        EXPECT_EQ(match.slot, c.slot) << what;
        EXPECT_EQ(match.track, c.track) << what;
        EXPECT_EQ(match.status, c.status) << what;
        EXPECT_EQ(match.error, c.error) << what;
    }

    // Bodies: the requests in a fixed order, or why not (nothing sent).
    const struct {
        int track;
        std::string body;
        std::vector<int32_t> commands;
        std::vector<std::string> texts;
        std::string error;
    } bodies[] = {
        {0,
         R"({"style": "Jazz", "artist": "Björk"})",
         {REMOTE_SET_ARTIST, REMOTE_SET_DISC_STYLE},
         {"Bj\xc3\xb6rk", "Jazz"},
         ""},
        {0, R"({"title": ""})", {REMOTE_SET_TITLE}, {""}, ""},
        {3,
         R"({"title": "Intro", "style": "Dub"})",
         {REMOTE_SET_TRACK_TITLE, REMOTE_SET_TRACK_STYLE},
         {"Intro", "Dub"},
         ""},
        {0, "{}", {}, {}, "nothing to set: give \"artist\", \"title\" or \"style\""},
        {3, "{}", {}, {}, "nothing to set: give \"title\" or \"style\""},
        {0, "{\"artist\": \"A", {}, {}, "the body must be a JSON object"},
        {0, "[]", {}, {}, "the body must be a JSON object"},
        {0, "", {}, {}, "the body must be a JSON object"},
        {0, R"({"artist": 5})", {}, {}, "\"artist\" must be a text"},
        {0,
         R"({"artist": "A", "year": "1999"})",
         {},
         {},
         "unknown field \"year\": a disc takes \"artist\", \"title\" or \"style\""},
        {3,
         R"({"artist": "A"})",
         {},
         {},
         "unknown field \"artist\": a track takes \"title\" or \"style\""},
        {0, R"({"artist": "A\tB"})", {}, {}, "the artist holds a TAB"},
        {0, R"({"title": "A\nB"})", {}, {}, "the title holds a line break"},
        {3, R"({"title": "A\u0007"})", {}, {}, "the track title holds a control character"},
        {0,
         R"({"artist": "Say \"hi\""})",
         {},
         {},
         "the artist holds a double quote, which the catalogue drops"},
        {0,
         "{\"artist\": \"" + std::string(65, 'a') + "\"}",
         {},
         {},
         "the artist is 65 bytes long; at most 64 are allowed"},
        {0,
         "{\"artist\": \"" + std::string(64, 'a') + "\"}",
         {REMOTE_SET_ARTIST},
         {std::string(64, 'a')},
         ""},
        {3,
         "{\"style\": \"" + std::string(32, 's') + "\"}",
         {},
         {},
         "the style is 32 bytes long; at most 31 are allowed"},
        // A good field does not go when another is bad.
        {0, R"({"artist": "Fine", "style": "Bad\r"})", {}, {}, "the style holds a line break"},
    };
    for (const auto& c : bodies) {
        std::vector<WebTextRequest> requests;
        std::string error;
        bool ok = ParseWebNames(c.body, 9, c.track, &requests, &error);
        EXPECT_EQ(ok, c.error.empty()) << c.body;
        EXPECT_EQ(error, c.error) << c.body;
        if (!ok) {
            continue;
        }
        ASSERT_EQ(requests.size(), c.commands.size()) << c.body;
        for (size_t i = 0; i < requests.size(); ++i) {
            EXPECT_EQ(requests[i].command, c.commands[i]) << c.body;
            EXPECT_EQ(requests[i].slot, 9) << c.body;
            EXPECT_EQ(requests[i].track, c.track) << c.body;
            EXPECT_EQ(requests[i].text, c.texts[i]) << c.body;
        }
    }

    const struct {
        const char* body;
        const char* style;
        const char* error;
    } randoms[] = {
        {"", "", ""},
        {"{}", "", ""},
        {R"({"style": ""})", "", ""},
        {R"({"style": null})", "", ""},
        {R"({"style": "Polka"})", "Polka", ""},
        {R"({"style": 3})", "", "\"style\" must be a text"},
        {R"({"style": "a\tb"})", "a\tb", "the style holds a TAB"},
        {R"({"mood": "calm"})", "", "unknown field \"mood\": random takes \"style\""},
        {"nope", "", "the body must be a JSON object"},
    };
    for (const auto& c : randoms) {
        std::string style;
        std::string error;
        EXPECT_EQ(ParseWebRandom(c.body, &style, &error), c.error[0] == 0) << c.body;
        EXPECT_EQ(error, c.error) << c.body;
        if (c.error[0] == 0) {
            EXPECT_EQ(style, c.style) << c.body;
        }
    }

    const struct {
        const char* text;
        int limit;  // 0: refused
    } limits[] = {{"", 20},  {"1", 1},  {"20", 20}, {"0", 0},          {"21", 0},
                  {"-1", 0}, {"05", 0}, {"x", 0},   {"99999999999", 0}};
    for (const auto& c : limits) {
        int limit = 0;
        std::string error;
        EXPECT_EQ(ParseHistoryLimit(c.text, &limit, &error), c.limit != 0) << c.text;
        if (c.limit != 0) {
            EXPECT_EQ(limit, c.limit) << c.text;
        } else {
            EXPECT_EQ(error, "limit must be 1 to 20") << c.text;
        }
    }

    const struct {
        int32_t result;
        int status;
    } answers[] = {{RemoteAnswerDone, 200}, {RemoteAnswerRefused, 400}, {RemoteAnswerFailed, 409}};
    for (const auto& c : answers) {
        RemoteAnswerRecord answer;
        answer.result = c.result;
        EXPECT_EQ(NamesAnswerStatus(answer), c.status) << c.result;
    }
}

TEST(WebNames, FilterLooksThroughNamesStylesAndTracks) {
    WebDiscIndex index;
    index.slots.resize(100);
    auto disc = [&](int slot, const char* artist, const char* title) {
        index.slots[slot - 1].present = true;
        index.slots[slot - 1].artist = artist;
        index.slots[slot - 1].title = title;
    };
    disc(3, "Caf\xe9 Society", "Night Train");  // Windows-1252
    disc(12, "The Blue Notes", "Live");
    disc(40, "Moby", "Play");
    disc(77, "", "");
    index.tracks[12].style = "Jazz";
    index.tracks[40].tracks = {{1, 0, "Porcelain", ""}, {2, 3, "Natural Blues", "Electronica"}};
    index.slots[58].artist = "Absent Blues";  // not present: never found
    const struct {
        const char* q;
        std::vector<int> slots;
    } cases[] = {
        {"", {3, 12, 40, 77}}, {"blue", {12, 40}}, {"BLUE", {12, 40}},
        {"caf\xc3\xa9", {3}},  // UTF-8, as the page sends it
        {"jazz", {12}},        {"porcel", {40}},   {"electronica", {40}},
        {"7", {77}},           {"4", {40}},        {"zzz", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchingSlots(index, c.q), c.slots) << c.q;
    }
    json list = json::parse(FilteredDiscsJson(index, "porcel"));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["slot"], 40);
    EXPECT_EQ(list[0]["artist"], "Moby");
    // Every disc: the list as it is without a filter.
    EXPECT_EQ(FilteredDiscsJson(index, ""), DiscsJson(index.slots));

    // The styles to pick: a track's own, else its disc's (slot 12's Jazz
    // has no track to select), each once whatever its case, absent discs not.
    index.tracks[3].style = "jazz";
    index.tracks[3].tracks = {{1, 0, "", ""}, {2, 0, "", "Blues"}, {3, 0, "", "ELECTRONICA"}};
    index.tracks[59].tracks = {{1, 0, "", "Absent"}};
    EXPECT_EQ(KnownStyles(index), (std::vector<std::string>{"Blues", "ELECTRONICA", "jazz"}));
    EXPECT_EQ(json::parse(StylesJson(WebDiscIndex{}))["styles"], json::array());
}

TEST(WebJson, DiscsListOnlyPresentSlots) {
    std::vector<RemoteSlotRecord> slots(100);
    slots[6].present = true;
    slots[6].id = "ZUB0000007";
    slots[6].firstTrack = 1;
    slots[6].trackCount = 12;
    slots[6].discSeconds = 2712;
    slots[6].artist = "M\xf6tley";
    slots[6].title =
        "Line\x0a"
        "break";
    slots[99].present = true;
    json list = json::parse(DiscsJson(slots));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], (json{{"slot", 7},
                             {"id", "ZUB0000007"},
                             {"first_track", 1},
                             {"track_count", 12},
                             {"disc_time", 2712},
                             {"artist", "M\xc3\xb6tley"},
                             {"title", "Line\nbreak"}}));
    EXPECT_EQ(list[1]["slot"], 100);
    EXPECT_EQ(json::parse(DiscsJson({})), json::array());
    EXPECT_EQ(json::parse(ErrorJson("bad \"x\""))["error"], "bad \"x\"");
}

TEST(WebJson, CommandsAndTheirBadForms) {
    struct Good {
        const char* body;
        int32_t command, disc, track;
    } good[] = {
        {R"({"command": "play"})", REMOTE_PLAY, 0, 0},
        {R"({"command": "pause", "disc": 500})", REMOTE_PAUSE, 0, 0},  // unused numbers pass
        {R"({"command": "stop"})", REMOTE_STOP, 0, 0},
        {R"({"command": "next"})", REMOTE_NEXT, 0, 0},
        {R"({"command": "restart"})", REMOTE_RESTART, 0, 0},
        {R"({"command": "shuffle"})", REMOTE_SHUFFLE, 0, 0},
        {R"({"command": "disc", "disc": 100})", REMOTE_PLAY_DISC, 100, 0},
        {R"( {"track": 99, "disc": 1, "command": "track"} )", REMOTE_PLAY_TRACK, 1, 99},
    };
    for (const Good& g : good) {
        WebCommand command;
        std::string error;
        ASSERT_TRUE(ParseWebCommand(g.body, &command, &error)) << g.body << ": " << error;
        EXPECT_EQ(command.command, g.command) << g.body;
        EXPECT_EQ(command.disc, g.disc) << g.body;
        EXPECT_EQ(command.track, g.track) << g.body;
    }
    struct Bad {
        std::string body, error;
    } bad[] = {
        {"", "the body must be a JSON object"},
        {"{\"command\": \"play\"", "the body must be a JSON object"},
        {"[\"play\"]", "the body must be a JSON object"},
        {"\"play\"", "the body must be a JSON object"},
        {"{\"command\": \"pl\xff\"}", "the body must be a JSON object"},  // not UTF-8
        {"{}", "\"command\" must be a text"},
        {R"({"command": 3})", "\"command\" must be a text"},
        {R"({"command": "eject"})", "unknown command"},
        {R"({"command": "PLAY"})", "unknown command"},
        {R"({"command": "scan", "disc": 1, "track": 5})", "unknown command"},  // its own route
        {R"({"command": "disc"})", "\"disc\" is missing"},
        {R"({"command": "disc", "disc": 0})", "\"disc\" must be 1 to 100"},
        {R"({"command": "disc", "disc": 101})", "\"disc\" must be 1 to 100"},
        {R"({"command": "disc", "disc": -1})", "\"disc\" must be 1 to 100"},
        {R"({"command": "disc", "disc": 18446744073709551615})", "\"disc\" must be 1 to 100"},
        {R"({"command": "disc", "disc": 4294967303})", "\"disc\" must be 1 to 100"},
        {R"({"command": "disc", "disc": 7.5})", "\"disc\" must be a whole number"},
        {R"({"command": "disc", "disc": "7"})", "\"disc\" must be a whole number"},
        {R"({"command": "track", "disc": 7})", "\"track\" is missing"},
        {R"({"command": "track", "disc": 7, "track": 0})", "\"track\" must be 1 to 99"},
        {R"({"command": "track", "disc": 7, "track": 100})", "\"track\" must be 1 to 99"},
        {std::string(5000, '['), "request body too long"},
        {std::string(4000, '[') + std::string(4000, ']'), "request body too long"},
        {std::string(2000, '[') + std::string(2000, ']'), "the body must be a JSON object"},
    };
    for (const Bad& b : bad) {
        WebCommand command;
        command.command = -5;
        std::string error;
        EXPECT_FALSE(ParseWebCommand(b.body, &command, &error)) << b.body;
        EXPECT_EQ(error, b.error) << b.body;
        EXPECT_EQ(command.command, -5) << b.body;  // untouched
    }
}

// POST /api/scan: the range of slots, whole magazine by default.
TEST(WebJson, ScanRangesAndTheirBadForms) {
    const struct {
        const char* body;
        int32_t first, last;
    } good[] = {
        {"", 1, 100},
        {"{}", 1, 100},
        {R"({"first": 7})", 7, 7},
        {R"({"first": 3, "last": 5})", 3, 5},
        {R"({"last": 20})", 1, 20},
        {R"({"first": 100, "last": 100})", 100, 100},
    };
    for (const auto& g : good) {
        WebCommand command;
        std::string error;
        ASSERT_TRUE(ParseWebScan(g.body, &command, &error)) << g.body << ": " << error;
        EXPECT_EQ(command.command, REMOTE_SCAN) << g.body;
        EXPECT_EQ(command.disc, g.first) << g.body;
        EXPECT_EQ(command.track, g.last) << g.body;
    }
    const struct {
        std::string body, error;
    } bad[] = {
        {R"({"first": 0})", "\"first\" must be 1 to 100"},
        {R"({"first": 101})", "\"first\" must be 1 to 100"},
        {R"({"first": 3, "last": 101})", "\"last\" must be 1 to 100"},
        {R"({"first": 5, "last": 4})", "\"first\" must not be after \"last\""},
        {R"({"first": -1, "last": 5})", "\"first\" must be 1 to 100"},
        {R"({"first": 4294967299})", "\"first\" must be 1 to 100"},
        {R"({"first": "3"})", "\"first\" must be a whole number"},
        {"[3, 5]", "the body must be a JSON object"},
        {"{\"first\": 3", "the body must be a JSON object"},
        {std::string(5000, ' '), "request body too long"},
    };
    for (const auto& b : bad) {
        WebCommand command;
        command.command = -5;
        std::string error;
        EXPECT_FALSE(ParseWebScan(b.body, &command, &error)) << b.body;
        EXPECT_EQ(error, b.error) << b.body;
        EXPECT_EQ(command.command, -5) << b.body;
    }
}

TEST(WebJson, CommandsDuringAScan) {
    const struct {
        int32_t command;
        bool scanning;
        bool send;
        int status;
        const char* body;
    } cases[] = {
        {REMOTE_PLAY, false, true, 200, "{\"ok\": true}"},
        {REMOTE_NEXT, false, true, 200, "{\"ok\": true}"},
        {REMOTE_PLAY, true, false, 409, "{\"error\":\"the changer is scanning\"}"},
        {REMOTE_PAUSE, true, false, 409, "{\"error\":\"the changer is scanning\"}"},
        {REMOTE_STOP, true, false, 409, "{\"error\":\"the changer is scanning\"}"},
        {REMOTE_NEXT, true, true, 202,
         "{\"ok\":true,\"waiting\":\"the changer is scanning; this runs when the scan ends\"}"},
        {REMOTE_PLAY_DISC, true, true, 202, nullptr},
        {REMOTE_SHUFFLE, true, true, 202, nullptr},
        {REMOTE_SCAN, false, true, 200, "{\"ok\": true}"},
        {REMOTE_SCAN, true, false, 409, "{\"error\":\"the changer is scanning\"}"},
    };
    for (const auto& c : cases) {
        WebCommandAnswer answer = AnswerWebCommand(c.command, c.scanning);
        EXPECT_EQ(answer.send, c.send) << c.command;
        EXPECT_EQ(answer.status, c.status) << c.command;
        if (c.body != nullptr) {
            EXPECT_EQ(answer.body, c.body) << c.command;
        }
    }
}

TEST(WebOptions, HostPortPairs) {
    WebOptions defaults;
    EXPECT_EQ(defaults.remoteHost, "127.0.0.1");
    EXPECT_EQ(defaults.remotePort, 4239);
    EXPECT_EQ(defaults.listenAddress, "127.0.0.1");
    EXPECT_EQ(defaults.listenPort, 8080);

    WebOptions options;
    std::string error;
    ASSERT_TRUE(
        ParseWebOptions({"--remote", "jukebox:4300", "--listen", "0.0.0.0:0"}, &options, &error));
    EXPECT_EQ(options.remoteHost, "jukebox");
    EXPECT_EQ(options.remotePort, 4300);
    EXPECT_EQ(options.listenAddress, "0.0.0.0");
    EXPECT_EQ(options.listenPort, 0);  // any free port

    struct Bad {
        std::vector<std::string> args;
        std::string error;
    } bad[] = {
        {{"--remote"}, "--remote needs [NAME=]HOST:PORT"},
        {{"--listen"}, "--listen needs HOST:PORT"},
        {{"--remote", "host"}, "bad --remote value 'host': [NAME=]HOST:PORT expected"},
        {{"--remote", ":4239"}, "bad --remote value ':4239': [NAME=]HOST:PORT expected"},
        {{"--remote", "h:"}, "bad --remote value 'h:': [NAME=]HOST:PORT expected"},
        {{"--remote", "h:0"}, "bad --remote value 'h:0': [NAME=]HOST:PORT expected"},
        {{"--remote", "=h:1"}, "bad --remote value '=h:1': [NAME=]HOST:PORT expected"},
        {{"--remote", "Attic="}, "bad --remote value 'Attic=': [NAME=]HOST:PORT expected"},
        {{"--remote", "Attic=:1"}, "bad --remote value 'Attic=:1': [NAME=]HOST:PORT expected"},
        {{"--remote", "A\tB=h:1"}, "bad --remote value 'A\tB=h:1': [NAME=]HOST:PORT expected"},
        {{"--remote", std::string(41, 'n') + "=h:1"},
         "bad --remote value '" + std::string(41, 'n') + "=h:1': [NAME=]HOST:PORT expected"},
        {{"--remote", "h:1", "--remote", "h:1"}, "--remote h:1 given twice"},
        {{"--remote", "A=h:1", "--remote", "B=h:1"}, "--remote h:1 given twice"},
        {{"--remote", "A=h:1", "--remote", "A=h:2"}, "--remote name 'A' given twice"},
        {{"--remote", "h:1", "--remote", "h:2", "--remote", "h:3", "--remote", "h:4", "--remote",
          "h:5", "--remote", "h:6", "--remote", "h:7", "--remote", "h:8", "--remote", "h:9"},
         "--remote given more than 8 times"},
        {{"--listen", "h:65536"}, "bad --listen value 'h:65536': HOST:PORT expected"},
        {{"--listen", "h:999999"}, "bad --listen value 'h:999999': HOST:PORT expected"},
        {{"--listen", "h:-1"}, "bad --listen value 'h:-1': HOST:PORT expected"},
        {{"--port", "1"}, "unknown option --port"},
        {{"play"}, "unknown option play"},
    };
    for (const Bad& b : bad) {
        WebOptions parsed;
        EXPECT_FALSE(ParseWebOptions(b.args, &parsed, &error));
        EXPECT_EQ(error, b.error);
    }
}

TEST(WebOptions, SeveralNamedControllers) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> remotes;  // "name|host|port|what the page calls it"
    } cases[] = {
        {{}, {"|127.0.0.1|4239|127.0.0.1:4239"}},
        {{"--listen", "0.0.0.0:8081"}, {"|127.0.0.1|4239|127.0.0.1:4239"}},
        {{"--remote", "jukebox:4300"}, {"|jukebox|4300|jukebox:4300"}},
        {{"--remote", "Living room=127.0.0.1:4239", "--remote", "127.0.0.1:4240"},
         {"Living room|127.0.0.1|4239|Living room", "|127.0.0.1|4240|127.0.0.1:4240"}},
        {{"--remote", "A=B=h:1"}, {"A|B=h|1|A"}},
        {{"--remote", "::1:4240"}, {"|::1|4240|::1:4240"}},
        {{"--remote", std::string(40, 'n') + "=h:65535"},
         {std::string(40, 'n') + "|h|65535|" + std::string(40, 'n')}},
        {{"--remote", "a=h:1", "--remote", "b=h:2", "--remote", "c=h:3", "--remote", "d=h:4",
          "--remote", "e=h:5", "--remote", "f=h:6", "--remote", "g=h:7", "--remote", "h=h:8"},
         {"a|h|1|a", "b|h|2|b", "c|h|3|c", "d|h|4|d", "e|h|5|e", "f|h|6|f", "g|h|7|g", "h|h|8|h"}},
    };
    for (const Case& c : cases) {
        WebOptions options;
        std::string error;
        ASSERT_TRUE(ParseWebOptions(c.args, &options, &error)) << error;
        std::vector<std::string> got;
        for (const WebRemote& remote : options.remotes) {
            got.push_back(remote.name + "|" + remote.host + "|" + std::to_string(remote.port) +
                          "|" + WebRemoteName(remote));
        }
        EXPECT_EQ(got, c.remotes) << testing::PrintToString(c.args);
        EXPECT_EQ(options.remoteHost, options.remotes.front().host);
        EXPECT_EQ(options.remotePort, options.remotes.front().port);
    }
}

TEST(StatusQuerySchedule, ClosesInWhenTheControllersPollIsDue) {
    const int64_t due = kPollPeriodMs + 15;  // after the last answer
    struct Case {
        int64_t now, answerAt, next;
    } cases[] = {
        {1000, -1, 1000 + kWatchIntervalMs},   // nothing known yet
        {0, 0, kWatchIntervalMs},              // long before it is due
        {due - 100, 0, due},                   // not past the due time
        {due, 0, due + kWatchFastIntervalMs},  // due and not seen
        {due + kWatchFastWindowMs - 1, 0, due + kWatchFastWindowMs - 1 + kWatchFastIntervalMs},
        {due + kWatchFastWindowMs, 0, due + kWatchFastWindowMs + kWatchIntervalMs},  // gave up
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NextStatusQueryAt(c.now, c.answerAt), c.next) << c.now << " " << c.answerAt;
    }
}

// The first slot of a running scan, carried from one status to the next:
// the record names the slot the scan is on and its last, not where it began.
TEST(StatusScanStart, RemembersTheFirstSlotOfEachScan) {
    struct Step {
        int scanning, slot, last;
        int first;  // expected
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
    } cases[] = {
        {"no scan", {{0, 0, 0, 0}, {0, 60, 60, 0}}},
        {"a range from its start", {{1, 40, 60, 40}, {1, 41, 60, 40}, {1, 60, 60, 40}}},
        {"the end of a scan forgets it", {{1, 40, 60, 40}, {0, 60, 60, 0}, {1, 3, 5, 3}}},
        {"a whole magazine", {{1, 1, 100, 1}, {1, 57, 100, 1}}},
        {"first seen mid-scan", {{1, 50, 100, 50}, {1, 51, 100, 50}}},
        // Two scans back to back between two statuses.
        {"another last slot", {{1, 40, 60, 40}, {1, 45, 70, 45}, {1, 50, 70, 45}}},
        {"behind the first", {{1, 40, 60, 40}, {1, 10, 60, 10}, {1, 11, 60, 10}}},
    };
    for (const Case& c : cases) {
        ScanStart start;
        for (const Step& step : c.steps) {
            RemoteStatusRecord status;
            status.scanning = step.scanning;
            status.scanSlot = step.slot;
            status.scanLastSlot = step.last;
            start = ScanStartAfter(start, status);
            EXPECT_EQ(start.first, step.first) << c.what << ", at slot " << step.slot;
        }
    }
}

// A connection that answers from a script, with a clock the test moves.
int64_t g_webNowMs = 0;
int64_t WebTestClock() {
    return g_webNowMs;
}

class ScriptedConnection : public RemoteConnection {
public:
    bool Open(const std::string& host, uint16_t port, int timeoutMs, std::string* error) override {
        opens.push_back(host + ":" + std::to_string(port) + "/" + std::to_string(timeoutMs));
        if (refuse) {
            *error = "Connection refused";
            return false;
        }
        open = true;
        return true;
    }
    bool SendAll(const unsigned char* bytes, int count) override {
        if (!open || count != kRemoteFullRequestSize) {
            return false;
        }
        sent.push_back(ReadRemoteInt(bytes));
        lastDisc = ReadRemoteInt(bytes + 4);
        served = 0;
        return true;
    }
    // The reply in the pieces asked for; a piece past its end times out.
    ReceiveResult Receive(unsigned char* bytes, int count, int) override {
        auto reply = replies.find(sent.back());
        if (silent || reply == replies.end() ||
            static_cast<int>(reply->second.size()) < served + count) {
            return {ReceiveEnd::TimedOut, 0};
        }
        std::copy(reply->second.begin() + served, reply->second.begin() + served + count, bytes);
        served += count;
        return {ReceiveEnd::Complete, count};
    }
    void Close() override {
        open = false;
        ++closes;
    }

    void SetStatus(const RemoteStatusRecord& status) {
        std::vector<unsigned char> bytes(kRemoteStatusSize);
        EncodeRemoteStatus(status, bytes.data());
        replies[REMOTE_STATUS] = bytes;
    }
    void SetInfo(int disc, const std::string& artist, const std::string& title) {
        std::vector<unsigned char> bytes(kRemoteInfoSize, 0);
        WriteRemoteInt(bytes.data(), disc);
        std::copy(artist.begin(), artist.end(), bytes.begin() + kRemoteArtistOffset);
        std::copy(title.begin(), title.end(), bytes.begin() + kRemoteTitleOffset);
        replies[REMOTE_INFO] = bytes;
    }

    bool refuse = false;
    bool silent = false;
    bool open = false;
    int closes = 0;
    int32_t lastDisc = 0;
    int served = 0;  // bytes of the current reply already received
    std::vector<std::string> opens;
    std::vector<int32_t> sent;
    std::map<int32_t, std::vector<unsigned char>> replies;
};

class WebLinkTest : public ::testing::Test {
protected:
    void SetUp() override { g_webNowMs = 1000; }

    bool Send(int32_t command, int budgetMs = 4000) {
        WebCommand request;
        request.command = command;
        request.disc = 9;
        std::string error;
        bool done = link_.Exchange(request, nullptr, 0, budgetMs, &error);
        lastError_ = error;
        return done;
    }

    ScriptedConnection connection_;
    ZubLink link_{connection_, "127.0.0.1", 4239, ZubLinkTiming(), WebTestClock};
    std::string lastError_;
};

TEST_F(WebLinkTest, BacksOffAfterFailuresAndReconnects) {
    connection_.refuse = true;
    EXPECT_FALSE(Send(REMOTE_PLAY, 300));
    EXPECT_EQ(lastError_, "controller not reachable at 127.0.0.1:4239: Connection refused");
    ASSERT_EQ(connection_.opens.size(), 1u);
    EXPECT_EQ(connection_.opens[0], "127.0.0.1:4239/300");  // never past the budget

    // Within the pause no attempt is made; after it the pause doubles, up
    // to its limit.
    int64_t pauses[] = {250, 500, 1000, 2000, 2000};
    for (int64_t pause : pauses) {
        size_t attempts = connection_.opens.size();
        g_webNowMs += pause - 1;
        EXPECT_FALSE(Send(REMOTE_PLAY));
        EXPECT_EQ(lastError_, "controller not reachable at 127.0.0.1:4239");
        EXPECT_EQ(connection_.opens.size(), attempts) << pause;
        g_webNowMs += 1;
        EXPECT_FALSE(Send(REMOTE_PLAY));
        EXPECT_EQ(connection_.opens.size(), attempts + 1) << pause;
    }

    // The controller is back: one connection for every exchange after.
    connection_.refuse = false;
    g_webNowMs += 2000;
    EXPECT_TRUE(Send(REMOTE_PLAY));
    EXPECT_TRUE(Send(REMOTE_NEXT));
    EXPECT_EQ(connection_.sent, (std::vector<int32_t>{REMOTE_PLAY, REMOTE_NEXT}));
    EXPECT_EQ(connection_.lastDisc, 9);
    EXPECT_EQ(connection_.opens.size(), 7u);
    EXPECT_EQ(connection_.opens.back(), "127.0.0.1:4239/1000");  // at most a second
}

TEST_F(WebLinkTest, AMissingReplyDropsTheConnection) {
    connection_.silent = true;
    unsigned char reply[kRemoteStatusSize];
    WebCommand query;
    query.command = REMOTE_STATUS;
    std::string error;
    EXPECT_FALSE(link_.Exchange(query, reply, kRemoteStatusSize, 2000, &error));
    EXPECT_EQ(error, "no reply from 127.0.0.1:4239");
    EXPECT_EQ(connection_.closes, 1);
    EXPECT_FALSE(connection_.open);

    // The next exchange after the pause opens a fresh connection.
    connection_.silent = false;
    connection_.SetStatus(RemoteStatusRecord());
    g_webNowMs += 250;
    EXPECT_TRUE(link_.Exchange(query, reply, kRemoteStatusSize, 2000, &error)) << error;
    EXPECT_EQ(connection_.opens.size(), 2u);
}

TEST_F(WebLinkTest, WatchKeepsTheViewAndCountsOnlyRealChanges) {
    ChangeBell bell;
    StatusWatch watch(link_, WebTestClock, &bell);
    uint64_t version = 0;
    connection_.refuse = true;
    watch.QueryOnce();
    EXPECT_FALSE(watch.Current(&version).reachable);

    connection_.refuse = false;
    g_webNowMs += 250;
    RemoteStatusRecord status;
    status.code = "PL";
    status.text = "play";
    status.disc = 7;
    status.track = 1;
    status.sinceAnswerMs = 100;
    connection_.SetStatus(status);
    connection_.SetInfo(7, "Artist 7", "Title 7");
    watch.QueryOnce();
    uint64_t reachableVersion = 0;
    WebStatus view = watch.Current(&reachableVersion);
    EXPECT_TRUE(view.reachable);
    EXPECT_EQ(view.artist, "Artist 7");
    EXPECT_EQ(view.title, "Title 7");
    EXPECT_GT(reachableVersion, version);
    EXPECT_EQ(connection_.sent, (std::vector<int32_t>{REMOTE_STATUS, REMOTE_INFO}));

    // Only the age of the reply moved: no new version, no catalogue read.
    status.sinceAnswerMs = 350;
    connection_.SetStatus(status);
    g_webNowMs += 250;
    watch.QueryOnce();
    uint64_t same = 0;
    EXPECT_EQ(watch.Current(&same).status.sinceAnswerMs, 350);
    EXPECT_EQ(same, reachableVersion);
    EXPECT_FALSE(watch.WaitForChange(same, 1));
    uint64_t rings = bell.Rings();
    EXPECT_EQ(rings, 2u);  // the bell rings with the version only
    EXPECT_FALSE(bell.WaitForRing(rings, 1));
    EXPECT_EQ(connection_.sent.size(), 3u);

    // A new disc: its catalogue line, but only when the info reply names it.
    status.disc = 8;
    connection_.SetStatus(status);
    watch.QueryOnce();
    EXPECT_EQ(watch.Current().artist, "");  // the info reply still names disc 7
    connection_.SetInfo(8, "Artist 8", "Title 8");
    watch.QueryOnce();
    uint64_t moved = 0;
    EXPECT_EQ(watch.Current(&moved).artist, "Artist 8");
    EXPECT_GT(moved, same);
    EXPECT_TRUE(watch.WaitForChange(same, 1));
    EXPECT_TRUE(bell.WaitForRing(rings, 1));

    // A range scan: the view names the slot it began at until it ends, also
    // across a status that did not come.
    status.scanning = 1;
    status.scanLastSlot = 60;
    for (int slot : {40, 41}) {
        status.scanSlot = slot;
        connection_.SetStatus(status);
        watch.QueryOnce();
        EXPECT_EQ(watch.Current().scanFirstSlot, 40) << slot;
    }
    connection_.silent = true;
    watch.QueryOnce();
    EXPECT_EQ(watch.Current().scanFirstSlot, 0);  // not reachable: no view of a scan
    connection_.silent = false;
    status.scanSlot = 42;
    connection_.SetStatus(status);
    g_webNowMs += 1000;  // after the link's pause
    watch.QueryOnce();
    EXPECT_EQ(watch.Current().scanFirstSlot, 40);
    status.scanning = 0;
    connection_.SetStatus(status);
    watch.QueryOnce();
    EXPECT_EQ(watch.Current().scanFirstSlot, 0);
    rings = bell.Rings();
    watch.Stop();  // wakes a stream waiting on the bell
    EXPECT_TRUE(bell.WaitForRing(rings, 1));
}

TEST_F(WebLinkTest, WatchThreadPublishesAndStops) {
    RemoteStatusRecord status;
    status.disc = 5;
    connection_.SetStatus(status);
    connection_.SetInfo(5, "Five", "Fifth");
    StatusWatch watch(link_);  // the real clock: the thread waits for real
    watch.Start();
    EXPECT_TRUE(watch.WaitForChange(0, 5000));
    EXPECT_EQ(watch.Current().artist, "Five");
    watch.QuerySoon();
    watch.Stop();
    EXPECT_TRUE(watch.Stopping());
}

// A loopback port nothing listens on (taken and let go).
uint16_t UnusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

// The first count events of an event stream, each "data: " line's JSON.
std::vector<std::string> FirstEvents(uint16_t port, const std::string& path, size_t count) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(5, 0);
    std::vector<std::string> events;
    std::string pending;
    client.Get(path, [&](const char* data, size_t length) {
        pending.append(data, length);
        size_t end;
        while ((end = pending.find("\n\n")) != std::string::npos) {
            if (pending.compare(0, 6, "data: ") == 0) {
                events.push_back(pending.substr(6, end - 6));
            }
            pending.erase(0, end + 2);
        }
        return events.size() < count;
    });
    return events;
}

// One zubweb for three changers: two stand-in controllers that poll their
// changer every 100 ms, and a port nobody listens on.
class WebChangersTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartClientSockets();
        std::vector<uint16_t> ports;
        for (auto& fake : fakes_) {
            ports.push_back(fake.Start());
            ASSERT_NE(ports.back(), 0);
        }
        ports.push_back(UnusedPort());
        const char* names[] = {"Attic", "", "Cellar"};
        std::vector<WebRemote> remotes;
        for (size_t i = 0; i < ports.size(); ++i) {
            remotes.push_back({names[i], "127.0.0.1", ports[i]});
        }
        ports_ = ports;
        service_ = std::make_unique<WebService>(remotes);
        port_ = static_cast<uint16_t>(service_->Listen("127.0.0.1", 0));
        ASSERT_NE(port_, 0);
        service_->Start();
        // Until the first two changers answer (the third never does).
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (
            !(service_->Watch(0).Current().reachable && service_->Watch(1).Current().reachable) &&
            std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    void TearDown() override {
        service_.reset();
        for (auto& fake : fakes_) {
            fake.Stop();
        }
    }

    FakeController fakes_[2] = {{100, std::chrono::steady_clock::now()},
                                {100, std::chrono::steady_clock::now()}};
    std::vector<uint16_t> ports_;
    std::unique_ptr<WebService> service_;
    uint16_t port_ = 0;
};

TEST_F(WebChangersTest, RoutesReachTheirOwnChanger) {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(5, 0);
    const std::string second = std::to_string(ports_[1]);
    const std::string nobody = std::to_string(ports_[2]);
    const struct {
        const char* method;
        std::string path;
        const char* body;
        int status;
        std::string answer;  // whole, or its start when it ends in '*'
    } cases[] = {
        {"GET", "/api/changers", "", 200,
         R"([{"index":0,"name":"Attic","host":"127.0.0.1","port":)" + std::to_string(ports_[0]) +
             R"(,"reachable":true},{"index":1,"name":"127.0.0.1:)" + second +
             R"(","host":"127.0.0.1","port":)" + second +
             R"(,"reachable":true},{"index":2,"name":"Cellar","host":"127.0.0.1","port":)" +
             nobody + R"(,"reachable":false}])"},
        {"GET", "/api/changers/1/status", "", 200, R"({"reachable":true,"disc":1,*)"},
        {"GET", "/api/changers/2/status", "", 503,
         R"({"reachable":false,"error":"controller not reachable"})"},
        {"GET", "/api/changers/1/discs", "", 200, "[]"},
        {"GET", "/api/changers/2/discs", "", 503,
         R"({"error":"controller not reachable at 127.0.0.1:)" + nobody + "*"},
        {"GET", "/api/changers/3/status", "", 404,
         R"({"error":"no changer 3: changers are 0 to 2"})"},
        {"GET", "/api/changers/x/discs", "", 404,
         R"({"error":"'x' is not a changer: changers are 0 to 2"})"},
        {"GET", "/api/changers/-1/events", "", 404,
         R"({"error":"'-1' is not a changer: changers are 0 to 2"})"},
        {"GET", "/api/changers/1/command", "", 405, R"({"error":"use POST here"})"},
        {"GET", "/api/changers/1/eject", "", 404, R"({"error":"no such route"})"},
        {"POST", "/api/changers/1/command", R"({"command": "next"})", 200, R"({"ok": true})"},
        {"POST", "/api/changers/0/scan", R"({"first": 3})", 200, R"({"ok": true})"},
        {"POST", "/api/changers/1/command", "{}", 400, R"({"error":"\"command\" must be a text"})"},
        {"POST", "/api/changers/2/command", R"({"command": "next"})", 503,
         R"({"error":"controller not reachable at 127.0.0.1:)" + nobody + "*"},
        {"POST", "/api/changers/9/command", R"({"command": "next"})", 404,
         R"({"error":"no changer 9: changers are 0 to 2"})"},
        {"POST", "/api/command", R"({"command": "shuffle"})", 200, R"({"ok": true})"},
    };
    for (const auto& c : cases) {
        std::string what = std::string(c.method) + " " + c.path;
        auto reply = std::string(c.method) == "GET"
                         ? client.Get(c.path.c_str())
                         : client.Post(c.path.c_str(), c.body, "application/json");
        ASSERT_TRUE(reply) << what;
        EXPECT_EQ(reply->status, c.status) << what;
        if (!c.answer.empty() && c.answer.back() == '*') {
            EXPECT_EQ(reply->body.compare(0, c.answer.size() - 1, c.answer, 0, c.answer.size() - 1),
                      0)
                << what << ": " << reply->body;
        } else {
            EXPECT_EQ(reply->body, c.answer) << what;
        }
    }
    // Each stand-in got its own commands only.
    ASSERT_TRUE(fakes_[0].WaitForCommands(2, 5000));
    ASSERT_TRUE(fakes_[1].WaitForCommands(1, 5000));
    std::vector<int32_t> firstCommands = fakes_[0].Commands();
    std::multiset<int32_t> first(firstCommands.begin(), firstCommands.end());
    EXPECT_EQ(first, (std::multiset<int32_t>{REMOTE_SCAN, REMOTE_SHUFFLE}));
    EXPECT_EQ(fakes_[1].Commands(), (std::vector<int32_t>{REMOTE_NEXT}));

    // The first changer's routes of one answer as its routes under /api/changers/0.
    for (const char* name : {"status", "discs"}) {
        auto alone = client.Get((std::string("/api/") + name).c_str());
        auto indexed = client.Get((std::string("/api/changers/0/") + name).c_str());
        ASSERT_TRUE(alone && indexed) << name;
        EXPECT_EQ(alone->status, indexed->status) << name;
        json a = json::parse(alone->body);
        json b = json::parse(indexed->body);
        if (a.is_object() && b.is_object()) {
            a.erase("since_ms");  // the age of the last reply moves between the two
            b.erase("since_ms");
        }
        EXPECT_EQ(a, b) << name;
    }
}

TEST_F(WebChangersTest, NamesStylesAndPlaysReachTheirOwnChanger) {
    fakes_[0].SetDiscs(
        {{5, "Moby", "Play", "", {{"Porcelain", "", 2}, {"Natural Blues", "Dub", 0}}},
         {9, "Nina", "Blue", "Jazz", {{"Feeling Good", "", 1}}}});
    fakes_[1].SetDiscs({{2, "Other", "Changer", "", {{"Alone", "", 0}}}});
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(5, 0);
    const std::string nobody = std::to_string(ports_[2]);
    const struct {
        const char* method;
        std::string path;
        std::string body;
        int status;
        std::string answer;  // whole, or its start when it ends in '*'
    } cases[] = {
        // The filter, over names and the tracks it fetched.
        {"GET", "/api/discs?q=blue", "", 200, R"([{"slot":5,*)"},
        {"GET", "/api/changers/0/discs?q=NINA", "", 200, R"([{"slot":9,*)"},
        {"GET", "/api/discs?q=jazz", "", 200, R"([{"slot":9,*)"},
        {"GET", "/api/discs?q=nothing", "", 200, "[]"},
        {"GET", "/api/changers/1/discs?q=alone", "", 200, R"([{"slot":2,*)"},
        {"GET", "/api/changers/1/discs?q=moby", "", 200, "[]"},
        {"GET", "/api/changers/2/discs?q=x", "", 503, R"({"error":"controller not reachable*)"},
        // The styles a shuffle can select: a track's own, else its disc's.
        {"GET", "/api/styles", "", 200, R"({"styles":["Dub","Jazz"]})"},
        {"GET", "/api/changers/1/styles", "", 200, R"({"styles":[]})"},
        {"GET", "/api/changers/2/styles", "", 503, R"({"error":"controller not reachable*)"},
        // Tracks with their plays; last played from the history.
        {"GET", "/api/discs/5/tracks", "", 200,
         R"({"slot":5,"first_track":1,"track_count":2,"style":"","tracks":[{"track":1,)"
         R"("title":"Porcelain","style":"","plays":2,"last_played":1000002},{"track":2,)"
         R"("title":"Natural Blues","style":"Dub","plays":0,"last_played":null}]})"},
        {"GET", "/api/changers/1/discs/2/tracks", "", 200, R"({"slot":2,"first_track":1,*)"},
        {"GET", "/api/discs/0/tracks", "", 400,
         R"x({"error":"slot 0 does not exist (slots are 1..100)"})x"},
        {"GET", "/api/changers/2/discs/5/tracks", "", 503, R"({"error":"controller not*)"},
        // Names: sent and kept; bad input answers 400 and sends nothing.
        {"POST", "/api/discs/5", R"({"artist": "Moby & Friends", "style": "Electronica"})", 200,
         R"({"ok": true})"},
        {"POST", "/api/changers/0/discs/5/tracks/2", R"({"title": "Blues"})", 200,
         R"({"ok": true})"},
        {"POST", "/api/changers/1/discs/2", R"({"title": "Renamed"})", 200, R"({"ok": true})"},
        {"POST", "/api/discs/5", R"({"artist": "A\tB"})", 400,
         R"({"error":"the artist holds a TAB"})"},
        {"POST", "/api/discs/5", "{\"artist\": \"" + std::string(65, 'a') + "\"}", 400,
         R"({"error":"the artist is 65 bytes long; at most 64 are allowed"})"},
        {"POST", "/api/discs/5", "{bad", 400, R"({"error":"the body must be a JSON object"})"},
        {"POST", "/api/discs/5/tracks/3", R"({"title": "X"})", 400,
         R"x({"error":"the disc in slot 5 has no track 3 (its tracks are 1-2)"})x"},
        {"POST", "/api/discs/6/tracks/1", R"({"title": "X"})", 400,
         R"({"error":"slot 6 holds no disc with tracks"})"},
        {"POST", "/api/discs/101", R"({"title": "X"})", 400,
         R"x({"error":"slot 101 does not exist (slots are 1..100)"})x"},
        // The controller refuses: its message.
        {"POST", "/api/discs/6", R"({"title": "X"})", 400, R"({"error":"slot 6 is empty"})"},
        {"POST", "/api/changers/2/discs/5", R"({"title": "X"})", 503,
         R"({"error":"controller not reachable at 127.0.0.1:)" + nobody + "*"},
        // Style shuffles.
        {"POST", "/api/random", R"({"style": "jazz"})", 200, R"({"ok": true, "tracks": 1})"},
        {"POST", "/api/random", R"({"style": "Polka"})", 404,
         R"({"error":"no track has the style Polka; the playlist is as it was"})"},
        {"POST", "/api/changers/1/random", "{}", 200, R"({"ok": true})"},
        {"POST", "/api/random", R"({"style": 1})", 400, R"({"error":"\"style\" must be a text"})"},
        // History.
        {"GET", "/api/history?limit=1", "", 200,
         R"({"recent":[{"slot":5,"disc_id":"","track":1,"title":"Porcelain","style":"",)"
         R"("plays":2,"played_at":1000002}],"most_played":[{"slot":5,*)"},
        {"GET", "/api/changers/1/history", "", 200, R"({"recent":[],"most_played":[]})"},
        {"GET", "/api/history?limit=21", "", 400, R"({"error":"limit must be 1 to 20"})"},
        {"GET", "/api/history?limit=0", "", 400, R"({"error":"limit must be 1 to 20"})"},
        {"GET", "/api/changers/2/history", "", 503, R"({"error":"controller not*)"},
        {"POST", "/api/history", "{}", 405, R"({"error":"use GET here"})"},
    };
    for (const auto& c : cases) {
        std::string what = std::string(c.method) + " " + c.path + " " + c.body;
        auto reply = std::string(c.method) == "GET"
                         ? client.Get(c.path.c_str())
                         : client.Post(c.path.c_str(), c.body, "application/json");
        ASSERT_TRUE(reply) << what;
        EXPECT_EQ(reply->status, c.status) << what << ": " << reply->body;
        if (!c.answer.empty() && c.answer.back() == '*') {
            EXPECT_EQ(reply->body.compare(0, c.answer.size() - 1, c.answer, 0, c.answer.size() - 1),
                      0)
                << what << ": " << reply->body;
        } else {
            EXPECT_EQ(reply->body, c.answer) << what;
        }
    }
    // Only the good requests went, each to its own changer.
    std::vector<FakeDisc> first = fakes_[0].Discs();
    EXPECT_EQ(first[0].artist, "Moby & Friends");
    EXPECT_EQ(first[0].style, "Electronica");
    EXPECT_EQ(first[0].tracks[1].title, "Blues");
    EXPECT_EQ(first[1].title, "Blue");
    EXPECT_EQ(fakes_[1].Discs()[0].title, "Renamed");
    EXPECT_EQ(fakes_[0].Texts(), (std::vector<std::string>{"Moby & Friends", "Electronica", "Blues",
                                                           "X", "jazz", "Polka"}));
    EXPECT_EQ(fakes_[1].Texts(), (std::vector<std::string>{"Renamed"}));
    // A name set through zubweb is found by the next filter.
    auto found = client.Get("/api/discs?q=friends");
    ASSERT_TRUE(found);
    EXPECT_EQ(json::parse(found->body).size(), 1u);
    found = client.Get("/api/discs?q=porcelain");
    ASSERT_TRUE(found);
    EXPECT_EQ(json::parse(found->body).size(), 1u);
    // Without q the list is as before the filter existed.
    auto plain = client.Get("/api/discs");
    ASSERT_TRUE(plain);
    EXPECT_EQ(json::parse(plain->body).size(), 2u);
    EXPECT_EQ(json::parse(plain->body)[0].size(), 7u);
}

TEST_F(WebChangersTest, EventsCarryTheChangersIndex) {
    // The stream of all: every changer's view at once, each with its index.
    std::vector<std::string> all = FirstEvents(port_, "/api/changers/events", 3);
    ASSERT_EQ(all.size(), 3u);
    std::set<int> seen;
    for (const std::string& event : all) {
        json e = json::parse(event);
        seen.insert(e["changer"].get<int>());
        EXPECT_EQ(event.compare(0, 11, "{\"changer\":"), 0) << event;
        EXPECT_EQ(e["reachable"], e["changer"] != 2) << event;
    }
    EXPECT_EQ(seen, (std::set<int>{0, 1, 2}));

    std::vector<std::string> one = FirstEvents(port_, "/api/changers/1/events", 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].compare(0, 32, R"({"changer":1,"reachable":true,"d)"), 0) << one[0];
    std::vector<std::string> first = FirstEvents(port_, "/api/events", 1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].compare(0, 20, R"({"reachable":true,"d)"), 0) << first[0];

    // A change of the second changer reaches the stream of all as its own.
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(5, 0);
    std::string pending;
    bool found = false;
    bool played = false;
    client.Get("/api/changers/events", [&](const char* data, size_t length) {
        pending.append(data, length);
        size_t end;
        while ((end = pending.find("\n\n")) != std::string::npos) {
            json e = json::parse(pending.substr(6, end - 6), nullptr, false);
            pending.erase(0, end + 2);
            found = found || (e.is_object() && e.value("changer", -1) == 1 &&
                              e.value("disc", 0) == 9 && e.value("track", 0) == 4);
            EXPECT_FALSE(e.is_object() && e.value("changer", -1) == 0 && e.value("disc", 0) == 9);
        }
        if (!played) {  // after the first events: the stream is open
            fakes_[1].PlayAtNextPoll(9, 4);
            played = true;
        }
        return !found;
    });
    EXPECT_TRUE(found);
}

}  // namespace
