// The library file: schema and migration, storing and reading a whole
// magazine, bad files, rows with impossible values, a writer killed
// mid-transaction, and the first-load check of a remembered disc.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "changer/disc_check.h"
#include "changer/magazine.h"
#include "changer/magazine_memory.h"
#include "changer/magazine_scan.h"
#include "changer/playlist.h"
#include "changer/track_notes.h"
#include "library/library.h"
#include "library/library_schema.h"
#include "link/changer_link.h"
#include "platform/window_hooks_posix.h"
#include "tests/support/fake_list.h"
#include "tests/support/reset_state.h"
#include "tests/support/sim_line.h"

namespace {

using Commands = std::vector<std::string>;

const std::time_t kNow = 1700000000;  // names of files moved aside

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// Runs SQL on a file with SQLite directly, as another program would.
void RunSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

int64_t Pragma(const std::string& path, const std::string& name) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, ("PRAGMA " + name).c_str(), -1, &stmt, nullptr);
    int64_t value = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

// A slot with count tracks whose times all derive from seed.
StoredSlot MadeSlot(int slot, int count, int seed) {
    StoredSlot stored;
    stored.slot = slot;
    stored.present = 1;
    char id[16];
    std::snprintf(id, sizeof id, "V%09d", seed);
    stored.discId = id;
    stored.firstTrack = 1;
    stored.trackCount = count;
    stored.discMinutes = seed % 80;
    stored.discSeconds = seed % 60;
    stored.readAt = kNow;
    for (int j = 0; j < count; ++j) {
        stored.tracks.push_back(
            {j, (seed + j) % 200, (seed + 2 * j) % 60, j % 10, (seed + j) % 60});
    }
    return stored;
}

bool SameSlot(const StoredSlot& a, const StoredSlot& b) {
    if (a.slot != b.slot || a.present != b.present || a.discId != b.discId ||
        a.firstTrack != b.firstTrack || a.trackCount != b.trackCount ||
        a.discMinutes != b.discMinutes || a.discSeconds != b.discSeconds || a.readAt != b.readAt ||
        a.tracks.size() != b.tracks.size()) {
        return false;
    }
    for (size_t j = 0; j < a.tracks.size(); ++j) {
        const StoredTrack& x = a.tracks[j];
        const StoredTrack& y = b.tracks[j];
        if (x.position != y.position || x.startMinutes != y.startMinutes ||
            x.startSeconds != y.startSeconds || x.lengthMinutes != y.lengthMinutes ||
            x.lengthSeconds != y.lengthSeconds) {
            return false;
        }
    }
    return true;
}

// Each case in a fresh folder; the magazine table and the library global
// start and end empty.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetChangerState();
        ClearPlatformRecord();
        char pattern[] = "/tmp/zublibrary.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        path = dir + "/zubcd.db";
    }
    void TearDown() override {
        if (g_hLibrary != nullptr) {
            g_hLibrary->Close();
            delete g_hLibrary;
            g_hLibrary = nullptr;
        }
        g_hCom = nullptr;
        ResetChangerState();
        ClearPlatformRecord();
        chmod(dir.c_str(), 0700);
        std::system(("rm -rf '" + dir + "'").c_str());
    }

    std::string dir;
    std::string path;
};

TEST_F(LibraryTest, NewFileGetsTheSchemaAndKeepsIt) {
    struct Case {
        const char* name;
        bool emptyFileFirst;  // a zero-byte file instead of none
    };
    for (Case c : {Case{"no file", false}, Case{"empty file", true}}) {
        SCOPED_TRACE(c.name);
        std::remove(path.c_str());
        if (c.emptyFileFirst) {
            WriteFile(path, "");
        }
        {
            LibraryOpening opening = OpenLibrary(path, kNow);
            ASSERT_EQ(opening.outcome, LibraryReady) << opening.problem;
            EXPECT_TRUE(opening.slots.empty());
        }
        EXPECT_EQ(Pragma(path, "user_version"), LibrarySchemaVersion());
        EXPECT_EQ(Pragma(path, "application_id"), kLibraryApplicationId);
        // Write-ahead log: the header's read and write versions are 2.
        std::string header = ReadFile(path).substr(0, 20);
        EXPECT_EQ(header.substr(18, 2), std::string("\x02\x02"));
        // Opened again: nothing to migrate, still ready and empty.
        LibraryOpening again = OpenLibrary(path, kNow);
        ASSERT_EQ(again.outcome, LibraryReady) << again.problem;
        EXPECT_TRUE(again.slots.empty());
        again.library.reset();
        // A version 0 file of ours (the step's tables missing) is migrated.
        RunSql(path,
               "DROP TABLE track; DROP TABLE slot; DROP TABLE disc_note; DROP TABLE track_note;"
               " DROP TABLE play; PRAGMA user_version = 0;");
        LibraryOpening migrated = OpenLibrary(path, kNow);
        ASSERT_EQ(migrated.outcome, LibraryReady) << migrated.problem;
        EXPECT_EQ(Pragma(path, "user_version"), LibrarySchemaVersion());
    }
}

TEST_F(LibraryTest, AWholeMagazineIsStoredAndReadBack) {
    std::vector<StoredSlot> written;
    {
        LibraryOpening opening = OpenLibrary(path, kNow);
        ASSERT_EQ(opening.outcome, LibraryReady);
        for (int slot = 1; slot <= 100; ++slot) {
            written.push_back(MadeSlot(slot, 99, slot * 7));
            opening.library->StoreSlot(written.back());
        }
        // A slot stored again replaces its row and all its tracks.
        written[4] = MadeSlot(5, 3, 1234);
        opening.library->StoreSlot(written[4]);
        opening.library->Close();
        EXPECT_EQ(opening.library->FailedWrites(), 0);
    }
    LibraryOpening opening = OpenLibrary(path, kNow);
    ASSERT_EQ(opening.outcome, LibraryReady);
    ASSERT_EQ(opening.slots.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(SameSlot(opening.slots[i], written[i])) << "slot " << i + 1;
    }
    EXPECT_EQ(opening.unreadableRows, 0);

    // Into the magazine table: every slot present with its 99 tracks.
    EXPECT_EQ(RestoreMagazine(opening.slots), 100);
    const DiscSlot& last = g_slots[99];
    ASSERT_EQ(last.wTrackCount, 99);
    EXPECT_STREQ(last.szDiscId, written[99].discId.c_str());
    EXPECT_EQ(last.pTracks[98].timeStart.bMinutes, written[99].tracks[98].startMinutes);
    EXPECT_EQ(last.pTracks[98].timeLength.bSeconds, written[99].tracks[98].lengthSeconds);
    EXPECT_EQ(g_slots[4].wTrackCount, 3);
    EXPECT_TRUE(g_bSlotRemembered[0]);

    // And back into the library from the table, unchanged.
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        g_hLibrary = opening.library.release();
        RememberSlot(100);
    }
    g_hLibrary->Close();
    LibraryOpening reread = OpenLibrary(path, kNow);
    written[99].readAt = reread.slots[99].readAt;
    EXPECT_TRUE(SameSlot(reread.slots[99], written[99]));
    EXPECT_FALSE(g_bSlotRemembered[99]);
}

TEST_F(LibraryTest, BadFilesAreMovedAsideOrLeftAlone) {
    // A good library to spoil.
    {
        LibraryOpening opening = OpenLibrary(path, kNow);
        for (int slot = 1; slot <= 100; ++slot) {
            opening.library->StoreSlot(MadeSlot(slot, 99, slot));
        }
        opening.library->Close();
    }
    RunSql(path, "PRAGMA wal_checkpoint(TRUNCATE)");
    const std::string good = ReadFile(path);
    ASSERT_GT(good.size(), 100000u);

    struct Case {
        const char* name;
        std::string bytes;  // the file's content ("" with sql: the good library)
        const char* sql;    // then run on it, or null
        LibraryOpenOutcome outcome;
        const char* problem;  // start of the problem text
    };
    std::string damagedPage = good;
    for (size_t at = 4096 * 2; at < 4096 * 6; ++at) {
        damagedPage[at] = static_cast<char>(0xA5);
    }
    const Case cases[] = {
        {"not a database", "Artist\tTitle\r\nnot a library at all\r\n" + std::string(200, 'x'),
         nullptr, LibraryMovedAside, "is not a database"},
        {"truncated", good.substr(0, good.size() / 3), nullptr, LibraryMovedAside, "is damaged"},
        {"damaged pages", damagedPage, nullptr, LibraryMovedAside, "is damaged"},
        {"header only", good.substr(0, 60), nullptr, LibraryMovedAside, "is damaged"},
        {"another program's", "", "PRAGMA application_id = 1234", LibraryLeftAlone,
         "belongs to another program"},
        {"a database without an id", "", "PRAGMA application_id = 0", LibraryLeftAlone,
         "belongs to another program"},
        {"a newer version", "", "PRAGMA user_version = 99", LibraryLeftAlone,
         "was written by a newer version"},
        {"our id, other tables", "", "DROP TABLE track", LibraryMovedAside,
         "is damaged: its tables"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::system(("rm -f '" + dir + "'/*").c_str());
        WriteFile(path, c.bytes.empty() ? good : c.bytes);
        if (c.sql != nullptr) {
            RunSql(path, c.sql);
            RunSql(path, "PRAGMA wal_checkpoint(TRUNCATE)");
        }
        const std::string before = ReadFile(path);

        LibraryOpening opening = OpenLibrary(path, kNow);
        EXPECT_EQ(opening.outcome, c.outcome) << opening.problem;
        EXPECT_EQ(opening.problem.rfind(c.problem, 0), 0u) << opening.problem;
        EXPECT_EQ(opening.library, nullptr);
        if (c.outcome == LibraryMovedAside) {
            // Renamed, byte for byte, never deleted; nothing left at the name.
            EXPECT_EQ(opening.movedTo.rfind(path + ".bad-", 0), 0u) << opening.movedTo;
            EXPECT_EQ(opening.movedTo.size(), path.size() + 20);
            EXPECT_EQ(ReadFile(opening.movedTo), before);
            EXPECT_FALSE(Exists(path));
            // The next start begins afresh.
            EXPECT_EQ(OpenLibrary(path, kNow).outcome, LibraryReady);
        } else {
            EXPECT_EQ(ReadFile(path), before);
        }
    }

    // The same second twice: the second file gets a name of its own.
    std::system(("rm -f '" + dir + "'/*").c_str());
    WriteFile(path, "junk one");
    std::string first = OpenLibrary(path, kNow).movedTo;
    WriteFile(path, "junk two");
    std::string second = OpenLibrary(path, kNow).movedTo;
    EXPECT_NE(first, second);
    EXPECT_EQ(ReadFile(first), "junk one");
    EXPECT_EQ(ReadFile(second), "junk two");
}

TEST_F(LibraryTest, FoldersThatCannotHoldTheFileLeaveItAlone) {
    // A folder that is a file: nothing can be created in it.
    WriteFile(dir + "/folder", "a file");
    LibraryOpening opening = OpenLibrary(dir + "/folder/zubcd.db", kNow);
    EXPECT_EQ(opening.outcome, LibraryLeftAlone);
    EXPECT_EQ(opening.problem.rfind("cannot be created", 0), 0u) << opening.problem;
    EXPECT_EQ(ReadFile(dir + "/folder"), "a file");

    if (geteuid() == 0) {
        return;  // permissions do not stop root: the read-only folder needs a user
    }
    { OpenLibrary(path, kNow).library->Close(); }
    ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
    chmod(path.c_str(), 0444);
    const std::string before = ReadFile(path);
    LibraryOpening readOnly = OpenLibrary(path, kNow);
    EXPECT_EQ(readOnly.outcome, LibraryLeftAlone) << readOnly.problem;
    EXPECT_EQ(ReadFile(path), before);
}

TEST_F(LibraryTest, RowsWithImpossibleValuesAreIgnored) {
    {
        LibraryOpening opening = OpenLibrary(path, kNow);
        opening.library->StoreSlot(MadeSlot(1, 12, 1));  // the one good row
        StoredSlot empty;
        empty.slot = 2;
        opening.library->StoreSlot(empty);
        opening.library->Close();
    }
    struct Case {
        const char* name;
        const char* sql;  // a slot row (and tracks) as another writer left them
    };
    const Case cases[] = {
        {"slot 0", "INSERT INTO slot VALUES (0, 1, 'ID', 1, 0, 1, 1, 0)"},
        {"slot 101", "INSERT INTO slot VALUES (101, 1, 'ID', 1, 0, 1, 1, 0)"},
        {"present 2", "INSERT INTO slot VALUES (10, 2, 'ID', 1, 0, 1, 1, 0)"},
        {"100 tracks", "INSERT INTO slot VALUES (11, 1, 'ID', 1, 100, 1, 1, 0)"},
        {"last track 100", "INSERT INTO slot VALUES (12, 1, 'ID', 99, 2, 1, 1, 0)"},
        {"negative first", "INSERT INTO slot VALUES (13, 1, 'ID', -1, 0, 1, 1, 0)"},
        {"long id", "INSERT INTO slot VALUES (14, 1, 'ABCDEFGHIJK', 1, 0, 1, 1, 0)"},
        {"minutes 256", "INSERT INTO slot VALUES (15, 1, 'ID', 1, 0, 256, 1, 0)"},
        {"text count", "INSERT INTO slot VALUES (16, 1, 'ID', 1, 'x', 1, 1, 0)"},
        {"missing tracks",
         "INSERT INTO slot VALUES (17, 1, 'ID', 1, 2, 1, 1, 0);"
         "INSERT INTO track VALUES (17, 0, 0, 2, 3, 0)"},
        {"track gap",
         "INSERT INTO slot VALUES (18, 1, 'ID', 1, 2, 1, 1, 0);"
         "INSERT INTO track VALUES (18, 0, 0, 2, 3, 0);"
         "INSERT INTO track VALUES (18, 2, 0, 2, 3, 0)"},
        {"track seconds -1",
         "INSERT INTO slot VALUES (19, 1, 'ID', 1, 1, 1, 1, 0);"
         "INSERT INTO track VALUES (19, 0, 0, -1, 3, 0)"},
        {"track of no slot", "INSERT INTO track VALUES (50, 0, 0, 2, 3, 0)"},
    };
    for (const Case& c : cases) {
        RunSql(path, c.sql);
    }
    LibraryOpening opening = OpenLibrary(path, kNow);
    ASSERT_EQ(opening.outcome, LibraryReady) << opening.problem;
    EXPECT_EQ(RestoreMagazine(opening.slots), 2);  // slots 1 and 2 only
    for (int slot = 3; slot <= 100; ++slot) {
        EXPECT_FALSE(g_slots[slot - 1].wFlags & SLOT_PRESENT) << "slot " << slot;
        EXPECT_FALSE(g_bSlotRemembered[slot - 1]) << "slot " << slot;
    }
    EXPECT_EQ(g_slots[0].wTrackCount, 12);
    EXPECT_TRUE(g_bSlotRemembered[1]);
}

// A file as the first version of the program left it: its one step's
// tables, version 1, and the given slots.
void WriteVersionOneFile(const std::string& path, const std::vector<StoredSlot>& slots) {
    std::string sql =
        "CREATE TABLE slot (number INTEGER PRIMARY KEY, present INTEGER NOT NULL,"
        " disc_id TEXT NOT NULL, first_track INTEGER NOT NULL, track_count INTEGER NOT NULL,"
        " disc_minutes INTEGER NOT NULL, disc_seconds INTEGER NOT NULL,"
        " read_at INTEGER NOT NULL);"
        "CREATE TABLE track (slot INTEGER NOT NULL, position INTEGER NOT NULL,"
        " start_minutes INTEGER NOT NULL, start_seconds INTEGER NOT NULL,"
        " length_minutes INTEGER NOT NULL, length_seconds INTEGER NOT NULL,"
        " PRIMARY KEY (slot, position)) WITHOUT ROWID;"
        "PRAGMA application_id = " +
        std::to_string(kLibraryApplicationId) + "; PRAGMA user_version = 1;";
    for (const StoredSlot& slot : slots) {
        char row[200];
        std::snprintf(
            row, sizeof row, "INSERT INTO slot VALUES (%d, 1, '%s', %d, %d, %d, %d, %lld);",
            static_cast<int>(slot.slot), slot.discId.c_str(), static_cast<int>(slot.firstTrack),
            static_cast<int>(slot.trackCount), static_cast<int>(slot.discMinutes),
            static_cast<int>(slot.discSeconds), static_cast<long long>(slot.readAt));
        sql += row;
        for (const StoredTrack& track : slot.tracks) {
            std::snprintf(
                row, sizeof row, "INSERT INTO track VALUES (%d, %d, %d, %d, %d, %d);",
                static_cast<int>(slot.slot), static_cast<int>(track.position),
                static_cast<int>(track.startMinutes), static_cast<int>(track.startSeconds),
                static_cast<int>(track.lengthMinutes), static_cast<int>(track.lengthSeconds));
            sql += row;
        }
    }
    RunSql(path, sql);
}

TEST_F(LibraryTest, AVersionOneFileIsMigratedAndKeepsItsSlots) {
    struct Case {
        const char* name;
        int slots;  // slots 1..slots, 12 tracks each
    };
    for (Case c : {Case{"no slots", 0}, Case{"one slot", 1}, Case{"a whole magazine", 100}}) {
        SCOPED_TRACE(c.name);
        std::system(("rm -f '" + dir + "'/*").c_str());
        std::vector<StoredSlot> written;
        for (int slot = 1; slot <= c.slots; ++slot) {
            written.push_back(MadeSlot(slot, 12, slot * 3));
        }
        WriteVersionOneFile(path, written);
        ASSERT_EQ(Pragma(path, "user_version"), 1);

        LibraryOpening opening = OpenLibrary(path, kNow);
        ASSERT_EQ(opening.outcome, LibraryReady) << opening.problem;
        EXPECT_EQ(Pragma(path, "user_version"), LibrarySchemaVersion());
        ASSERT_EQ(opening.slots.size(), written.size());
        for (size_t i = 0; i < written.size(); ++i) {
            EXPECT_TRUE(SameSlot(opening.slots[i], written[i])) << "slot " << i + 1;
        }
        EXPECT_TRUE(opening.discStyles.empty());
        EXPECT_TRUE(opening.trackNotes.empty());
        EXPECT_TRUE(opening.recentPlays.empty());
        // The new tables take writes at once.
        opening.library->StoreDiscStyle({"V000000003", "Jazz"});
        opening.library->StorePlay({kNow, "V000000003", 2});
        opening.library->Close();
        EXPECT_EQ(opening.library->FailedWrites(), 0);
        LibraryOpening again = OpenLibrary(path, kNow);
        ASSERT_EQ(again.outcome, LibraryReady) << again.problem;
        EXPECT_EQ(again.slots.size(), written.size());
        EXPECT_EQ(again.discStyles.size(), 1u);
        EXPECT_EQ(again.recentPlays.size(), 1u);
    }
}

TEST_F(LibraryTest, NamesStylesAndPlaysAreStoredAndReadBack) {
    {
        LibraryOpening opening = OpenLibrary(path, kNow);
        ASSERT_EQ(opening.outcome, LibraryReady);
        Library& library = *opening.library;
        library.StoreSlot(MadeSlot(1, 3, 1));  // slot writes share the queue
        library.StoreDiscStyle({"DISC1", "Jazz"});
        library.StoreDiscStyle({"DISC1", "Blues"});  // replaces
        library.StoreDiscStyle({"DISC2", "Rock"});
        library.StoreTrackNames({"DISC1", 1, "Intro", ""});
        library.StorePlay({kNow + 1, "DISC1", 1});
        library.StorePlay({kNow + 5, "DISC1", 1});
        // Names set after plays keep the count; plays before names too.
        library.StorePlay({kNow + 3, "DISC2", 7});
        library.StoreTrackNames({"DISC2", 7, "Seven", "Swing"});
        library.StoreTrackNames({"DISC1", 1, "Opening", "Bop"});
        library.Close();
        EXPECT_EQ(library.FailedWrites(), 0);
    }
    LibraryOpening opening = OpenLibrary(path, kNow);
    ASSERT_EQ(opening.outcome, LibraryReady);
    EXPECT_EQ(opening.slots.size(), 1u);
    ASSERT_EQ(opening.discStyles.size(), 2u);
    EXPECT_EQ(opening.discStyles[0].discId, "DISC1");
    EXPECT_EQ(opening.discStyles[0].style, "Blues");
    EXPECT_EQ(opening.discStyles[1].style, "Rock");
    struct Expected {
        const char* discId;
        int64_t track;
        const char* title;
        const char* style;
        int64_t count;
        int64_t last;
    };
    const Expected notes[] = {{"DISC1", 1, "Opening", "Bop", 2, kNow + 5},
                              {"DISC2", 7, "Seven", "Swing", 1, kNow + 3}};
    ASSERT_EQ(opening.trackNotes.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const StoredTrackNote& got = opening.trackNotes[i];
        EXPECT_EQ(got.discId, notes[i].discId);
        EXPECT_EQ(got.track, notes[i].track);
        EXPECT_EQ(got.title, notes[i].title);
        EXPECT_EQ(got.style, notes[i].style);
        EXPECT_EQ(got.playCount, notes[i].count);
        EXPECT_EQ(got.lastPlayed, notes[i].last);
    }
    ASSERT_EQ(opening.recentPlays.size(), 3u);  // in the order played
    EXPECT_EQ(opening.recentPlays[0].playedAt, kNow + 1);
    EXPECT_EQ(opening.recentPlays[2].discId, "DISC2");
    EXPECT_EQ(opening.unreadableRows, 0);
    opening.library.reset();

    // Only the newest plays are read, oldest first; the file keeps them all.
    std::string sql = "BEGIN;";
    for (int i = 0; i < kRecentPlaysRead + 5; ++i) {
        sql += "INSERT INTO play VALUES (" + std::to_string(kNow + 100 + i) + ", 'MANY', 1);";
    }
    RunSql(path, sql + "COMMIT;");
    LibraryOpening many = OpenLibrary(path, kNow);
    ASSERT_EQ(many.recentPlays.size(), static_cast<size_t>(kRecentPlaysRead));
    EXPECT_EQ(many.recentPlays.front().playedAt, kNow + 105);
    EXPECT_EQ(many.recentPlays.back().playedAt, kNow + 100 + kRecentPlaysRead + 4);
}

TEST_F(LibraryTest, TheStoreAnswersAtOnceAndTheFileKeepsItForTheNextRun) {
    ASSERT_EQ(StartLibrary(path, kNow), "");
    ASSERT_NE(g_hLibrary, nullptr);
    EXPECT_TRUE(SetDiscStyle("DISC1", "Jazz"));
    EXPECT_TRUE(SetTrackTitleStyle("DISC1", 4, "Four", ""));
    EXPECT_TRUE(RecordPlay("DISC1", 4, kNow + 10));
    EXPECT_TRUE(RecordPlay("DISC1", 4, kNow + 20));
    EXPECT_TRUE(RecordPlay("DISC2", 1, kNow + 15));
    // Read back at once, from memory.
    TrackNote note = TrackNotes("DISC1", 4);
    EXPECT_EQ(note.title, "Four");
    EXPECT_EQ(note.playCount, 2);
    EXPECT_EQ(note.lastPlayed, kNow + 20);
    EXPECT_EQ(DiscStyle("DISC1"), "Jazz");

    EndLibrary();
    delete g_hLibrary;
    g_hLibrary = nullptr;
    ResetTrackNotes();
    EXPECT_EQ(TrackNotes("DISC1", 4).playCount, 0);

    ASSERT_EQ(StartLibrary(path, kNow), "");
    note = TrackNotes("DISC1", 4);
    EXPECT_EQ(note.title, "Four");
    EXPECT_EQ(note.playCount, 2);
    EXPECT_EQ(note.lastPlayed, kNow + 20);
    EXPECT_EQ(DiscStyle("DISC1"), "Jazz");
    std::vector<PlayRecord> recent = RecentPlays(10);
    ASSERT_EQ(recent.size(), 3u);
    EXPECT_EQ(recent[0].playedAt, kNow + 15);  // newest first, in the order recorded
    EXPECT_EQ(recent[0].discId, "DISC2");

    // A cleared style is cleared in the file too.
    EXPECT_TRUE(SetDiscStyle("DISC1", ""));
    EndLibrary();
    delete g_hLibrary;
    g_hLibrary = nullptr;
    ResetTrackNotes();
    ASSERT_EQ(StartLibrary(path, kNow), "");
    EXPECT_EQ(DiscStyle("DISC1"), "");
}

TEST_F(LibraryTest, WithoutAFileTheStoreLastsTheRun) {
    ASSERT_EQ(g_hLibrary, nullptr);
    EXPECT_TRUE(SetTrackTitleStyle("ABC", 1, "One", "Pop"));
    EXPECT_TRUE(SetDiscStyle("ABC", "Rock"));
    for (int64_t at : {kNow, kNow + 1, kNow + 2}) {
        EXPECT_TRUE(RecordPlay("ABC", 2, at));
    }
    EXPECT_TRUE(RecordPlay("ABC", 1, kNow + 3));
    EXPECT_TRUE(RecordPlay("XYZ", 9, kNow + 3));
    EXPECT_TRUE(RecordPlay("AAA", 9, kNow + 3));

    EXPECT_EQ(TrackNotes("ABC", 1).title, "One");
    EXPECT_EQ(TrackNotes("ABC", 1).style, "Pop");
    EXPECT_EQ(TrackNotes("ABC", 2).playCount, 3);
    EXPECT_EQ(TrackNotes("NONE", 2).playCount, 0);
    EXPECT_EQ(TrackNotes("NONE", 2).title, "");
    SetTrackTitleStyle("XYZ", 9, "", "rock");
    SetTrackTitleStyle("XYZ", 8, "", "Blues");
    EXPECT_EQ(KnownStyles(), (std::vector<std::string>{"Blues", "Pop", "Rock"}));

    // Most plays first, then the latest, then identifier and track.
    std::vector<TrackPlays> most = MostPlayed(10);
    ASSERT_EQ(most.size(), 4u);
    std::vector<std::string> order;
    for (const TrackPlays& track : most) {
        order.push_back(track.discId + "/" + std::to_string(track.track) + "x" +
                        std::to_string(track.playCount));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"ABC/2x3", "AAA/9x1", "ABC/1x1", "XYZ/9x1"}));
    EXPECT_EQ(MostPlayed(2).size(), 2u);
    EXPECT_TRUE(MostPlayed(0).empty());
    EXPECT_TRUE(MostPlayed(-1).empty());

    std::vector<PlayRecord> recent = RecentPlays(2);
    ASSERT_EQ(recent.size(), 2u);
    EXPECT_EQ(recent[0].discId, "AAA");
    EXPECT_EQ(recent[1].discId, "XYZ");
    EXPECT_TRUE(RecentPlays(0).empty());
    // The history is bounded; counts are not.
    for (int i = 0; i < kRecentPlaysKept + 10; ++i) {
        RecordPlay("LOTS", 5, kNow + 100 + i);
    }
    EXPECT_EQ(RecentPlays(kRecentPlaysKept * 2).size(), static_cast<size_t>(kRecentPlaysKept));
    EXPECT_EQ(TrackNotes("LOTS", 5).playCount, kRecentPlaysKept + 10);
}

TEST_F(LibraryTest, EditsPlaysAndReadsFromManyThreadsAllArrive) {
    ASSERT_EQ(StartLibrary(path, kNow), "");
    const int kThreads = 4;
    const int kEach = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            std::string id = "T" + std::to_string(t);
            for (int i = 0; i < kEach; ++i) {
                RecordPlay(id, 1, kNow + i);
                SetTrackTitleStyle(id, 2, "Title " + std::to_string(i), "Style");
                SetDiscStyle(id, i % 2 ? "Odd" : "Even");
                TrackNotes(id, 1);
                RecentPlays(5);
                MostPlayed(5);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(RecentPlays(1000).size(), static_cast<size_t>(kThreads * kEach));
    EndLibrary();
    LibraryOpening reread = OpenLibrary(path, kNow);
    ASSERT_EQ(reread.outcome, LibraryReady);
    EXPECT_EQ(reread.recentPlays.size(), static_cast<size_t>(kThreads * kEach));
    ASSERT_EQ(reread.trackNotes.size(), static_cast<size_t>(kThreads * 2));
    for (const StoredTrackNote& note : reread.trackNotes) {
        if (note.track == 1) {
            EXPECT_EQ(note.playCount, kEach) << note.discId;
        } else {
            EXPECT_EQ(note.title, "Title " + std::to_string(kEach - 1)) << note.discId;
        }
    }
    ASSERT_EQ(reread.discStyles.size(), static_cast<size_t>(kThreads));
    EXPECT_EQ(reread.discStyles[0].style, "Odd");
}

TEST_F(LibraryTest, BadNamesAndPlaysAreRefusedAndChangeNothing) {
    ASSERT_TRUE(SetTrackTitleStyle("GOOD", 3, "Kept", "Kept"));
    const std::string longTitle(kNoteTitleLength + 1, 'x');
    const std::string longStyle(kNoteStyleLength + 1, 'x');
    struct Case {
        const char* name;
        std::string discId;
        int track;
        std::string text;
        const char* titleProblem;  // start of the reason; nullptr: a fine title
        const char* styleProblem;
    };
    const Case cases[] = {
        {"empty identifier", "", 3, "t", "a disc identifier has 1 to 10",
         "a disc identifier has 1 to 10"},
        {"long identifier", "ABCDEFGHIJK", 3, "t", "a disc identifier has 1 to 10",
         "a disc identifier has 1 to 10"},
        {"identifier with a tab", "GO\tOD", 3, "t", "a disc identifier has no control",
         "a disc identifier has no control"},
        {"track -1", "GOOD", -1, "t", "a track is numbered 0 to 99", "a track is numbered 0 to 99"},
        {"track 100", "GOOD", 100, "t", "a track is numbered 0 to 99",
         "a track is numbered 0 to 99"},
        {"long title", "GOOD", 3, longTitle, "a title has at most 64", "a style has at most 31"},
        {"long style", "GOOD", 3, longStyle, nullptr, "a style has at most 31"},
        {"text with a line end", "GOOD", 3, "a\nb", "a title has no control",
         "a style has no control"},
        {"text with DEL", "GOOD", 3, "a\x7f", "a title has no control", "a style has no control"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string problem;
        if (c.titleProblem != nullptr) {
            EXPECT_FALSE(SetTrackTitleStyle(c.discId, c.track, c.text, "", &problem));
            EXPECT_EQ(problem.rfind(c.titleProblem, 0), 0u) << problem;
        }
        problem.clear();
        EXPECT_FALSE(SetTrackTitleStyle(c.discId, c.track, "", c.text, &problem));
        EXPECT_EQ(problem.rfind(c.styleProblem, 0), 0u) << problem;
        bool textCase = c.text != "t";
        if (!textCase) {
            EXPECT_FALSE(RecordPlay(c.discId, c.track, kNow));
        } else {
            problem.clear();
            EXPECT_FALSE(SetDiscStyle(c.discId, c.text, &problem));
            EXPECT_EQ(problem.rfind(c.styleProblem, 0), 0u) << problem;
        }
    }
    EXPECT_FALSE(SetDiscStyle("", "Jazz"));
    EXPECT_EQ(TrackNotes("GOOD", 3).title, "Kept");
    EXPECT_EQ(TrackNotes("GOOD", 3).style, "Kept");
    EXPECT_EQ(DiscStyle("GOOD"), "");
    EXPECT_EQ(TrackNotes("GOOD", 3).playCount, 0);
    EXPECT_TRUE(RecentPlays(10).empty());
    // The longest texts, spaces and bytes above ASCII are fine.
    EXPECT_TRUE(SetTrackTitleStyle("GOOD 1", 0, std::string(kNoteTitleLength, 'y'), "Caf\xc3\xa9"));
    EXPECT_TRUE(SetTrackTitleStyle("GOOD 1", 1, "", std::string(kNoteStyleLength, 'z')));
    EXPECT_TRUE(SetDiscStyle("GOOD 1", std::string(kNoteStyleLength, 'z')));

    // Rows another writer left that the store cannot take are left out; a
    // title or style longer than the store keeps is cut at a character
    // boundary, the row's plays kept.
    { OpenLibrary(path, kNow).library->Close(); }
    RunSql(
        path,
        "INSERT INTO disc_note VALUES ('OK', 'Jazz');"
        "INSERT INTO disc_note VALUES ('ABCDEFGHIJK', 'Jazz');"
        "INSERT INTO disc_note VALUES ('CUT INSIDE', printf('%.30c', 'a') || '\xc3\xa9');"
        "INSERT INTO disc_note VALUES ('NOT UTF-8', CAST(x'" +
            std::string(80, 'f') +
            "' AS TEXT));"
            "INSERT INTO disc_note VALUES ('TAB', 'Ja' || char(9) || 'zz');"
            "INSERT INTO track_note VALUES ('OK', 1, 'T', 'S', 2, 5);"
            "INSERT INTO track_note VALUES ('OK', 100, 'T', 'S', 2, 5);"
            "INSERT INTO track_note VALUES ('OK', 2, 'T', 'S', -1, 5);"
            "INSERT INTO track_note VALUES ('OK', 3, 'T', 'S', 'many', 5);"
            "INSERT INTO track_note VALUES ('OK', 4, printf('%.64c', 't'), printf('%.1000c', 's'),"
            " 3, 5);"
            "INSERT INTO track_note VALUES ('OK', 5, 'T', printf('%.200c', 's') || char(10), 3, 5);"
            "INSERT INTO track_note VALUES ('OK', 6, printf('%.65c', 't'), 'S', 3, 5);"
            "INSERT INTO play VALUES (5, 'OK', 1);"
            "INSERT INTO play VALUES (5, '', 1);");
    LibraryOpening opening = OpenLibrary(path, kNow);
    ASSERT_EQ(opening.outcome, LibraryReady);
    EXPECT_EQ(opening.unreadableRows, 1);  // the text count
    EXPECT_EQ(LoadTrackNotes(opening), 6);
    EXPECT_EQ(DiscStyle("OK"), "Jazz");
    EXPECT_EQ(TrackNotes("OK", 1).playCount, 2);
    EXPECT_EQ(DiscStyle("CUT INSIDE"), std::string(30, 'a'));
    EXPECT_EQ(DiscStyle("NOT UTF-8"), std::string(kNoteStyleLength, '\xff'));
    EXPECT_EQ(DiscStyle("TAB"), "");
    EXPECT_EQ(TrackNotes("OK", 4).title, std::string(kNoteTitleLength, 't'));
    EXPECT_EQ(TrackNotes("OK", 4).style, std::string(kNoteStyleLength, 's'));
    EXPECT_EQ(TrackNotes("OK", 4).playCount, 3);
    EXPECT_EQ(TrackNotes("OK", 5).playCount, 0);
    EXPECT_EQ(TrackNotes("OK", 6).title, std::string(kNoteTitleLength, 't'));
    EXPECT_EQ(TrackNotes("OK", 6).playCount, 3);
    EXPECT_EQ(TrackNotes("GOOD", 3).title, "");  // replaced by what was read
    EXPECT_EQ(RecentPlays(10).size(), 1u);
    for (const std::string& style : KnownStyles()) {
        EXPECT_LE(style.size(), static_cast<size_t>(kNoteStyleLength)) << style;
    }
}

// The writer of the crash test, run as a process of its own: stores slot
// after slot and prints each number once it is committed.
TEST(LibraryCrash, WriterChild) {
    const char* target = std::getenv("ZUB_LIBRARY_CRASH_FILE");
    if (target == nullptr) {
        GTEST_SKIP() << "the crash test's writer; runs only in its child process";
    }
    LibraryOpening opening = OpenLibrary(target, kNow);
    ASSERT_EQ(opening.outcome, LibraryReady);
    int next = std::atoi(std::getenv("ZUB_LIBRARY_CRASH_FROM"));
    for (;; ++next) {
        opening.library->StoreSlot(MadeSlot(next % 100 + 1, 99, next));
        opening.library->Flush();
        dprintf(3, "%d\n", next);
    }
}

TEST_F(LibraryTest, AWriterKilledMidTransactionLosesAtMostThatWrite) {
    int next = 1;
    std::vector<int> committedWrites;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        int pipeEnds[2];
        ASSERT_EQ(pipe(pipeEnds), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Numbers on descriptor 3; the test framework's report goes nowhere.
            close(pipeEnds[0]);
            dup2(pipeEnds[1], 3);
            int nowhere = open("/dev/null", O_WRONLY);
            dup2(nowhere, 1);
            setenv("ZUB_LIBRARY_CRASH_FILE", path.c_str(), 1);
            setenv("ZUB_LIBRARY_CRASH_FROM", std::to_string(next).c_str(), 1);
            execl("/proc/self/exe", "zubtests", "--gtest_filter=LibraryCrash.WriterChild",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipeEnds[1]);
        // Kill once a few writes are committed, at a moment that moves from
        // round to round through the next transaction.
        FILE* out = fdopen(pipeEnds[0], "r");
        int committed = next - 1;
        int seen = 0;
        int number;
        while (seen < 5 + round && std::fscanf(out, "%d", &number) == 1) {
            committed = number;
            committedWrites.push_back(number);
            ++seen;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(300 * round));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        while (std::fscanf(out, "%d", &number) == 1) {
            committed = number;  // printed before the kill
            committedWrites.push_back(number);
        }
        std::fclose(out);
        ASSERT_GE(committed, next) << "the writer committed nothing";

        LibraryOpening opening = OpenLibrary(path, kNow);
        ASSERT_EQ(opening.outcome, LibraryReady) << opening.problem;
        // Every write up to the last committed one is there, whole; the one
        // in flight is there whole or not at all.
        std::vector<int> version(101, 0);
        for (const StoredSlot& stored : opening.slots) {
            int seed = std::atoi(stored.discId.c_str() + 1);
            EXPECT_TRUE(SameSlot(stored, MadeSlot(static_cast<int>(stored.slot), 99, seed)))
                << "slot " << stored.slot << " is not one whole write";
            version[stored.slot] = seed;
        }
        for (int write : committedWrites) {
            EXPECT_GE(version[write % 100 + 1], write) << "committed write " << write << " lost";
        }
        int inFlight = committed + 1;
        EXPECT_TRUE(version[inFlight % 100 + 1] == inFlight ||
                    version[inFlight % 100 + 1] == inFlight - 100 ||
                    version[inFlight % 100 + 1] == 0);
        next = committed + 2;  // the in-flight number is not used again
    }
}

// The first load of a remembered slot, over the simulated changer.
class RememberedDiscTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        // What the library remembers: slot 3 with ID0000003 of 12 tracks,
        // slot 5 with 4 tracks; slot 7 holding a disc.
        LibraryOpening opening = OpenLibrary(path, kNow);
        ASSERT_EQ(opening.outcome, LibraryReady);
        g_hLibrary = opening.library.release();
        std::vector<StoredSlot> slots = {Remembered(3, "ID00000003", 12),
                                         Remembered(5, "ID00000005", 4),
                                         Remembered(7, "ID00000007", 2)};
        ASSERT_EQ(RestoreMagazine(slots), 3);
    }

    static StoredSlot Remembered(int slot, const char* id, int tracks) {
        StoredSlot stored = MadeSlot(slot, tracks, slot);
        stored.discId = id;
        return stored;
    }

    static SimDisc Disc(const std::string& id, int tracks, int firstTrack = 1) {
        SimDisc disc;
        disc.id = id;
        disc.firstTrack = firstTrack;
        disc.trackSeconds.assign(tracks, 100);
        return disc;
    }
};

TEST_F(RememberedDiscTest, FirstLoadChecksTheDiscOnce) {
    struct Case {
        const char* name;
        bool swapped;  // slot 3 holds another disc of 5 tracks
        bool empty;    // slot 3 is empty
        int track;     // 0: the disc's first track, as a play-disc request asks
        int result;
        Commands first;  // the first play request's commands
        bool readAnew;
    };
    const Commands kToday = {"01A03", "04A02", "10", "07"};
    const Case cases[] = {
        {"same disc", false, false, 2, kPlaySent, {"01A03", "13", "04A02", "10", "07"}, false},
        {"another disc",
         true,
         false,
         2,
         kPlaySent,
         {"01A03", "13", "15", "17A01", "17A02", "17A03", "17A04", "17A05", "04A02", "10", "07"},
         true},
        {"another disc without the track",
         true,
         false,
         9,
         kPlayRejected,
         {"01A03", "13", "15", "17A01", "17A02", "17A03", "17A04", "17A05"},
         true},
        {"empty slot", false, true, 2, kPlayNotLoaded, {"01A03"}, false},
        // The first track of the disc read anew, not the remembered disc's.
        {"another disc from track 2, its first track",
         true,
         false,
         0,
         kPlaySent,
         {"01A03", "13", "15", "17A02", "17A03", "17A04", "17A05", "17A06", "04A02", "10", "07"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();  // each case with its own library and table
        SetUp();
        SimMagazine magazine;
        if (!c.empty) {
            magazine[3] =
                c.swapped ? Disc("OTHER00003", 5, c.track == 0 ? 2 : 1) : Disc("ID00000003", 12);
        }
        SimLine line(magazine);
        g_hCom = &line;

        EXPECT_EQ(c.track == 0 ? PlayDiscFirstTrack(3, 1)
                               : PlayDiscTrack(3, static_cast<uint16_t>(c.track), 1),
                  c.result);
        EXPECT_EQ(SentCommands(line.Written()), c.first);
        EXPECT_EQ(RecordedSlotRowRefreshes(),
                  c.readAnew ? std::vector<int>{3} : std::vector<int>{});
        if (c.readAnew) {
            EXPECT_STREQ(g_slots[2].szDiscId, "OTHER00003");
            EXPECT_EQ(g_slots[2].wTrackCount, 5);
            g_hLibrary->Flush();
            LibraryOpening reread = OpenLibrary(path, kNow);
            ASSERT_EQ(reread.slots.size(), 1u);  // the restore itself writes nothing
            EXPECT_EQ(reread.slots[0].discId, "OTHER00003");
            EXPECT_EQ(reread.slots[0].trackCount, 5);
        } else {
            EXPECT_EQ(g_slots[2].wTrackCount, 12);
        }
        // Checked once per session: the next request sends today's commands
        // (an empty slot is passed over as today, every time).
        std::string before = line.Written();
        PlayDiscTrack(3, 2, 1);
        EXPECT_EQ(SentCommands(line.Written().substr(before.size())),
                  c.empty ? Commands{"01A03"} : kToday);
        g_hCom = nullptr;
    }
}

TEST_F(RememberedDiscTest, ASessionThatScannedSendsTodaysCommands) {
    SimMagazine magazine;
    magazine[3] = Disc("OTHER00003", 5);  // swapped, but scanned in this session
    magazine[5] = Disc("ID00000005", 4);
    SimLine line(magazine);
    g_hCom = &line;
    FakeList discs;
    FakeList tracks;
    ScanProgress progress;
    ScanMagazine(discs, tracks, progress);
    EXPECT_EQ(discs.Row(2)[1], "OTHER00003");

    std::string before = line.Written();
    PlayDiscTrack(3, 5, 1);
    PlayDiscTrack(5, 1, 0);
    ASSERT_TRUE(LoadSlotChecked(5) == 0);
    EXPECT_EQ(SentCommands(line.Written().substr(before.size())),
              (Commands{"01A03", "04A05", "10", "07", "01A05", "04A01", "10", "08", "01A05"}));
    // Every slot went to the library as the scan read it.
    g_hLibrary->Flush();
    EXPECT_EQ(OpenLibrary(path, kNow).slots.size(), 100u);
}

TEST_F(RememberedDiscTest, LoadButtonChecksAndTheRowFollows) {
    SimMagazine magazine;
    magazine[7] = Disc("OTHER00007", 3);
    SimLine line(magazine);
    g_hCom = &line;
    FakeList discs;
    ShowMagazineRows(discs);
    EXPECT_EQ(discs.Row(6), (std::vector<std::string>{"7", "ID00000007", "1-2", "7:07", "", ""}));
    EXPECT_EQ(discs.Row(0)[1], "no disc");

    EXPECT_EQ(LoadSlotChecked(7), 0);
    EXPECT_EQ(SentCommands(line.Written()),
              (Commands{"01A07", "13", "15", "17A01", "17A02", "17A03"}));
    ShowSlotRow(discs, 7);
    EXPECT_EQ(discs.Row(6), (std::vector<std::string>{"7", "OTHER00007", "1-3", "5:02", "", ""}));
}

TEST_F(RememberedDiscTest, PlaylistDropsLackingTracksAndTakesNewOnes) {
    SimMagazine magazine;
    magazine[3] = Disc("OTHER00003", 14);  // 12 remembered, 14 now
    magazine[5] = Disc("OTHER00005", 2);   // 4 remembered, 2 now
    SimLine line(magazine);
    g_hCom = &line;
    {
        std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
        BuildPlaylist();
        g_nPlaylistPos = 3;
    }
    const auto before = PlaylistEntries();
    ASSERT_EQ(before.size(), 18u);

    PlayDiscTrack(5, 1, 1);  // a remote request: read anew
    PlayDiscTrack(3, 1, 1);
    auto after = PlaylistEntries();
    // What was at and before the position stays; after it only tracks the
    // discs have, and each of their tracks exactly once.
    for (int i = 0; i <= 3; ++i) {
        EXPECT_EQ(after[i], before[i]);
    }
    std::vector<int> named3(15, 0), named5(5, 0);
    for (size_t i = 0; i < after.size(); ++i) {
        auto [disc, track] = after[i];
        if (i > 3) {
            EXPECT_TRUE(disc == 3   ? track <= 14
                        : disc == 5 ? track <= 2
                                    : true)
                << disc << " " << track;
        }
        if (disc == 3) {
            ++named3[track];
        } else if (disc == 5) {
            ++named5[track];
        }
    }
    for (int track = 1; track <= 14; ++track) {
        EXPECT_EQ(named3[track], 1) << "track " << track;
    }
    EXPECT_EQ(g_nPlaylistCount, static_cast<int>(after.size()));
    EXPECT_EQ(g_nPlaylistPos, 3);
    // Playing the whole list asks for no track a disc lacks.
    std::string mark = line.Written();
    for (size_t i = 0; i < after.size(); ++i) {
        PlayNextEntry();
    }
    std::string loaded;
    for (const std::string& command : SentCommands(line.Written().substr(mark.size()))) {
        if (command.rfind("01", 0) == 0) {
            loaded = command;
        } else if (command.rfind("04A", 0) == 0) {
            int track = std::atoi(command.c_str() + 3);
            EXPECT_LE(track, loaded == "01A05" ? 2 : loaded == "01A03" ? 14 : 99) << loaded;
        }
    }
}

}  // namespace
