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
