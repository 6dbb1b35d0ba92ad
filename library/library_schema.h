// The library's schema: the file's application id and the steps that bring
// a file of any older schema version up to the current one.
#pragma once

#include <cstdint>
#include <string>

class SqliteDatabase;

// PRAGMA application_id of our files: "ZUBD".
const int64_t kLibraryApplicationId = 0x5A554244;

// The schema version this program writes (PRAGMA user_version).
int LibrarySchemaVersion();

// Runs, in one transaction, every step above fromVersion and sets the
// application id and the version. False with the error text on failure
// (nothing changed then).
bool MigrateLibrary(SqliteDatabase& db, int64_t fromVersion, std::string* error);

// The statements the library runs, prepared to check that the tables are
// as this version expects.
extern const char kSelectSlotsSql[];
extern const char kSelectTracksSql[];
extern const char kReplaceSlotSql[];
extern const char kDeleteTracksSql[];
extern const char kInsertTrackSql[];
extern const char kSelectDiscNotesSql[];
extern const char kSelectTrackNotesSql[];
extern const char kSelectRecentPlaysSql[];  // ?1: how many
extern const char kReplaceDiscStyleSql[];
extern const char kUpsertTrackNamesSql[];
extern const char kUpsertTrackPlaySql[];
extern const char kInsertPlaySql[];
