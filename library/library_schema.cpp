// Schema versions of the library file and the steps between them.
#include "library/library_schema.h"

#include <string>

#include "library/sqlite_db.h"

namespace {

struct Migration {
    int version;  // the version the step leads to
    const char* sql;
};

// Later versions append their step; a step is never changed once released.
const Migration kMigrations[] = {
    {1,
     "CREATE TABLE slot ("
     " number INTEGER PRIMARY KEY,"  // 1..100
     " present INTEGER NOT NULL,"    // 1: a disc was in the slot
     " disc_id TEXT NOT NULL,"
     " first_track INTEGER NOT NULL,"
     " track_count INTEGER NOT NULL,"
     " disc_minutes INTEGER NOT NULL,"
     " disc_seconds INTEGER NOT NULL,"
     " read_at INTEGER NOT NULL"  // seconds since 1970, UTC
     ");"
     "CREATE TABLE track ("
     " slot INTEGER NOT NULL,"
     " position INTEGER NOT NULL,"  // track first_track + position
     " start_minutes INTEGER NOT NULL,"
     " start_seconds INTEGER NOT NULL,"
     " length_minutes INTEGER NOT NULL,"
     " length_seconds INTEGER NOT NULL,"
     " PRIMARY KEY (slot, position)"
     ") WITHOUT ROWID;"},
    {2,
     // Names, styles and plays follow the disc, wherever it stands.
     "CREATE TABLE disc_note ("
     " disc_id TEXT PRIMARY KEY,"
     " style TEXT NOT NULL"
     ") WITHOUT ROWID;"
     "CREATE TABLE track_note ("
     " disc_id TEXT NOT NULL,"
     " track INTEGER NOT NULL,"  // as the disc numbers it
     " title TEXT NOT NULL,"
     " style TEXT NOT NULL,"
     " play_count INTEGER NOT NULL,"
     " last_played INTEGER NOT NULL,"  // seconds since 1970, UTC; 0: never
     " PRIMARY KEY (disc_id, track)"
     ") WITHOUT ROWID;"
     "CREATE TABLE play ("
     " played_at INTEGER NOT NULL,"  // seconds since 1970, UTC
     " disc_id TEXT NOT NULL,"
     " track INTEGER NOT NULL"
     ");"},
};

}  // namespace

const char kSelectSlotsSql[] =
    "SELECT number, present, disc_id, first_track, track_count, disc_minutes, disc_seconds,"
    " read_at FROM slot ORDER BY number";
const char kSelectTracksSql[] =
    "SELECT slot, position, start_minutes, start_seconds, length_minutes, length_seconds"
    " FROM track ORDER BY slot, position";
const char kReplaceSlotSql[] =
    "INSERT OR REPLACE INTO slot (number, present, disc_id, first_track, track_count,"
    " disc_minutes, disc_seconds, read_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)";
const char kDeleteTracksSql[] = "DELETE FROM track WHERE slot = ?1";
const char kInsertTrackSql[] =
    "INSERT INTO track (slot, position, start_minutes, start_seconds, length_minutes,"
    " length_seconds) VALUES (?1, ?2, ?3, ?4, ?5, ?6)";

const char kSelectDiscNotesSql[] = "SELECT disc_id, style FROM disc_note ORDER BY disc_id";
const char kSelectTrackNotesSql[] =
    "SELECT disc_id, track, title, style, play_count, last_played FROM track_note"
    " ORDER BY disc_id, track";
// The newest plays, returned oldest first.
const char kSelectRecentPlaysSql[] =
    "SELECT played_at, disc_id, track FROM (SELECT rowid AS id, played_at, disc_id, track"
    " FROM play ORDER BY id DESC LIMIT ?1) ORDER BY id";
const char kReplaceDiscStyleSql[] =
    "INSERT OR REPLACE INTO disc_note (disc_id, style) VALUES (?1, ?2)";
const char kUpsertTrackNamesSql[] =
    "INSERT INTO track_note (disc_id, track, title, style, play_count, last_played)"
    " VALUES (?1, ?2, ?3, ?4, 0, 0)"
    " ON CONFLICT (disc_id, track) DO UPDATE SET title = excluded.title, style = excluded.style";
const char kUpsertTrackPlaySql[] =
    "INSERT INTO track_note (disc_id, track, title, style, play_count, last_played)"
    " VALUES (?1, ?2, '', '', 1, ?3)"
    " ON CONFLICT (disc_id, track) DO UPDATE SET play_count = play_count + 1,"
    " last_played = max(last_played, excluded.last_played)";
const char kInsertPlaySql[] = "INSERT INTO play (played_at, disc_id, track) VALUES (?1, ?2, ?3)";

int LibrarySchemaVersion() {
    return kMigrations[sizeof kMigrations / sizeof kMigrations[0] - 1].version;
}

bool MigrateLibrary(SqliteDatabase& db, int64_t fromVersion, std::string* error) {
    if (db.Exec("BEGIN IMMEDIATE") != 0) {
        *error = db.LastError();
        return false;
    }
    bool ok = true;
    for (const Migration& step : kMigrations) {
        if (step.version > fromVersion && db.Exec(step.sql) != 0) {
            ok = false;
            break;
        }
    }
    std::string pragmas = "PRAGMA application_id = " + std::to_string(kLibraryApplicationId) +
                          "; PRAGMA user_version = " + std::to_string(LibrarySchemaVersion());
    ok = ok && db.Exec(pragmas.c_str()) == 0 && db.Exec("COMMIT") == 0;
    if (!ok) {
        *error = db.LastError();
        db.Exec("ROLLBACK");
    }
    return ok;
}
