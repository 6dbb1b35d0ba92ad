// Opening the library file (classifying what is found), reading it, and the
// writer thread that stores slots, names, styles and plays.
#include "library/library.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>
#include <utility>

#include "library/library_aside.h"
#include "library/library_schema.h"
#include "library/sqlite_db.h"

namespace {

// How long a statement waits for another connection's lock.
const int kBusyWaitMs = 2000;

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// A file SQLite cannot read as a database at all, or one it finds damaged:
// moved aside so that a fresh library can start.
bool IsBadFile(int code) {
    int primary = code & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

LibraryOpening LeaveAlone(const std::string& problem) {
    LibraryOpening opening;
    opening.outcome = LibraryLeftAlone;
    opening.problem = problem;
    return opening;
}

LibraryOpening PutAside(SqliteDatabase& db, const std::string& path, std::time_t now,
                        const std::string& problem) {
    db.Close();  // a file held open cannot be renamed on Windows
    LibraryOpening opening;
    opening.problem = problem;
    opening.movedTo = MoveAside(path, now);
    opening.outcome = opening.movedTo.empty() ? LibraryLeftAlone : LibraryMovedAside;
    if (opening.movedTo.empty()) {
        opening.problem += " and could not be renamed";
    }
    return opening;
}

// Reads every slot and its tracks; rows with columns of the wrong type are
// counted and left out. False when a query fails.
bool ReadSlots(SqliteDatabase& db, std::vector<StoredSlot>* slots, int* unreadable) {
    SqliteStatement slotRows(db, kSelectSlotsSql);
    while (slotRows.Prepared() && slotRows.Step()) {
        bool typed = slotRows.IsText(2);
        for (int column : {0, 1, 3, 4, 5, 6, 7}) {
            typed = typed && slotRows.IsInteger(column);
        }
        if (!typed) {
            ++*unreadable;
            continue;
        }
        StoredSlot slot;
        slot.slot = slotRows.Integer(0);
        slot.present = slotRows.Integer(1);
        slot.discId = slotRows.Text(2);
        slot.firstTrack = slotRows.Integer(3);
        slot.trackCount = slotRows.Integer(4);
        slot.discMinutes = slotRows.Integer(5);
        slot.discSeconds = slotRows.Integer(6);
        slot.readAt = slotRows.Integer(7);
        slots->push_back(std::move(slot));
    }
    if (!slotRows.Prepared() || slotRows.Code() != SQLITE_DONE) {
        return false;
    }

    SqliteStatement trackRows(db, kSelectTracksSql);
    size_t at = 0;  // both queries run in slot order
    while (trackRows.Prepared() && trackRows.Step()) {
        bool typed = true;
        for (int column = 0; column < 6; ++column) {
            typed = typed && trackRows.IsInteger(column);
        }
        if (!typed) {
            ++*unreadable;
            continue;
        }
        int64_t slotNumber = trackRows.Integer(0);
        while (at < slots->size() && (*slots)[at].slot < slotNumber) {
            ++at;
        }
        if (at == slots->size() || (*slots)[at].slot != slotNumber) {
            ++*unreadable;  // a track of no stored slot
            continue;
        }
        StoredTrack track;
        track.position = trackRows.Integer(1);
        track.startMinutes = trackRows.Integer(2);
        track.startSeconds = trackRows.Integer(3);
        track.lengthMinutes = trackRows.Integer(4);
        track.lengthSeconds = trackRows.Integer(5);
        (*slots)[at].tracks.push_back(track);
    }
    return trackRows.Prepared() && trackRows.Code() == SQLITE_DONE;
}

// Reads the disc styles, the track notes and the newest plays; rows with
// columns of the wrong type are counted and left out. False when a query
// fails.
bool ReadNotes(SqliteDatabase& db, LibraryOpening* opening) {
    SqliteStatement discRows(db, kSelectDiscNotesSql);
    while (discRows.Prepared() && discRows.Step()) {
        if (!discRows.IsText(0) || !discRows.IsText(1)) {
            ++opening->unreadableRows;
            continue;
        }
        opening->discStyles.push_back({discRows.Text(0), discRows.Text(1)});
    }
    if (!discRows.Prepared() || discRows.Code() != SQLITE_DONE) {
        return false;
    }

    SqliteStatement trackRows(db, kSelectTrackNotesSql);
    while (trackRows.Prepared() && trackRows.Step()) {
        if (!trackRows.IsText(0) || !trackRows.IsInteger(1) || !trackRows.IsText(2) ||
            !trackRows.IsText(3) || !trackRows.IsInteger(4) || !trackRows.IsInteger(5)) {
            ++opening->unreadableRows;
            continue;
        }
        StoredTrackNote note;
        note.discId = trackRows.Text(0);
        note.track = trackRows.Integer(1);
        note.title = trackRows.Text(2);
        note.style = trackRows.Text(3);
        note.playCount = trackRows.Integer(4);
        note.lastPlayed = trackRows.Integer(5);
        opening->trackNotes.push_back(std::move(note));
    }
    if (!trackRows.Prepared() || trackRows.Code() != SQLITE_DONE) {
        return false;
    }

    SqliteStatement playRows(db, kSelectRecentPlaysSql);
    playRows.Bind(1, static_cast<int64_t>(kRecentPlaysRead));
    while (playRows.Prepared() && playRows.Step()) {
        if (!playRows.IsInteger(0) || !playRows.IsText(1) || !playRows.IsInteger(2)) {
            ++opening->unreadableRows;
            continue;
        }
        opening->recentPlays.push_back(
            {playRows.Integer(0), playRows.Text(1), playRows.Integer(2)});
    }
    return playRows.Prepared() && playRows.Code() == SQLITE_DONE;
}

// Every statement the library runs can be prepared: the tables are as
// this version made them.
bool TablesAsExpected(SqliteDatabase& db) {
    for (const char* sql :
         {kSelectSlotsSql, kSelectTracksSql, kReplaceSlotSql, kDeleteTracksSql, kInsertTrackSql,
          kSelectDiscNotesSql, kSelectTrackNotesSql, kSelectRecentPlaysSql, kReplaceDiscStyleSql,
          kUpsertTrackNamesSql, kUpsertTrackPlaySql, kInsertPlaySql}) {
        if (!SqliteStatement(db, sql).Prepared()) {
            return false;
        }
    }
    return true;
}

}  // namespace

LibraryOpening OpenLibrary(const std::string& path, std::time_t now) {
    bool existed = FileExists(path);
    auto db = std::make_unique<SqliteDatabase>();
    int code = db->Open(path);
    if (code != SQLITE_OK) {
        if (IsBadFile(code)) {
            return PutAside(*db, path, now, "is not a database");
        }
        return LeaveAlone(existed ? "cannot be opened: " + db->LastError()
                                  : "cannot be created: " + db->LastError());
    }
    sqlite3_busy_timeout(db->Handle(), kBusyWaitMs);

    // The first read of the file tells whether it is a database at all.
    int64_t tables = 0;
    if (!db->QueryInt("SELECT count(*) FROM sqlite_master", &tables, &code)) {
        if (IsBadFile(code)) {
            return PutAside(*db, path, now,
                            (code & 0xFF) == SQLITE_NOTADB ? "is not a database"
                                                           : "is damaged: " + db->LastError());
        }
        return LeaveAlone("cannot be read: " + db->LastError());
    }
    int64_t applicationId = 0;
    int64_t version = 0;
    if (!db->QueryInt("PRAGMA application_id", &applicationId, &code) ||
        !db->QueryInt("PRAGMA user_version", &version, &code)) {
        return LeaveAlone("cannot be read: " + db->LastError());
    }
    bool empty = tables == 0 && applicationId == 0 && version == 0;
    if (!empty && applicationId != kLibraryApplicationId) {
        return LeaveAlone("belongs to another program");
    }
    if (version > LibrarySchemaVersion()) {
        return LeaveAlone("was written by a newer version of the program");
    }
    std::string check;
    if (!db->QueryText("PRAGMA quick_check", &check, &code) || check != "ok") {
        if (check.empty() && !IsBadFile(code)) {
            return LeaveAlone("cannot be read: " + db->LastError());
        }
        return PutAside(*db, path, now, "is damaged: " + (check.empty() ? db->LastError() : check));
    }
    if (db->ReadOnly()) {
        return LeaveAlone("is read-only");
    }

    // Write-ahead log: a write in flight never harms what is committed;
    // FULL syncs every commit, so a power loss loses at most that write.
    std::string mode;
    if (!db->QueryText("PRAGMA journal_mode = WAL", &mode, &code) || mode != "wal" ||
        db->Exec("PRAGMA synchronous = FULL") != SQLITE_OK) {
        return LeaveAlone("cannot be written: " + db->LastError());
    }
    if (version < LibrarySchemaVersion()) {
        std::string error;
        if (!MigrateLibrary(*db, version, &error)) {
            code = sqlite3_errcode(db->Handle());
            if (IsBadFile(code)) {
                return PutAside(*db, path, now, "is damaged: " + error);
            }
            return LeaveAlone("cannot be written: " + error);
        }
    }
    if (!TablesAsExpected(*db)) {
        return PutAside(*db, path, now, "is damaged: its tables are not as expected");
    }

    LibraryOpening opening;
    if (!ReadSlots(*db, &opening.slots, &opening.unreadableRows) || !ReadNotes(*db, &opening)) {
        code = sqlite3_errcode(db->Handle());
        if (IsBadFile(code)) {
            return PutAside(*db, path, now, "is damaged: " + db->LastError());
        }
        return LeaveAlone("cannot be read: " + db->LastError());
    }
    opening.outcome = LibraryReady;
    opening.library.reset(new Library(std::move(db)));
    return opening;
}

Library::Library(std::unique_ptr<SqliteDatabase> db) : db_(std::move(db)) {
    writer_ = std::thread(&Library::WriterLoop, this);
}

Library::~Library() {
    Close();
}

void Library::StoreSlot(StoredSlot slot) {
    Queue(std::move(slot));
}

void Library::StoreDiscStyle(StoredDiscStyle style) {
    Queue(std::move(style));
}

void Library::StoreTrackNames(StoredTrackNames names) {
    Queue(std::move(names));
}

void Library::StorePlay(StoredPlay play) {
    Queue(std::move(play));
}

void Library::Queue(Write write) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) {
            return;
        }
        queue_.push_back(std::move(write));
    }
    changed_.notify_all();
}

void Library::Flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && !writing_; });
}

void Library::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) {
            return;
        }
        closed_ = true;
        stopping_ = true;
    }
    changed_.notify_all();
    if (writer_.joinable()) {
        writer_.join();
    }
    db_->Close();
}

void Library::SetWriteFailureHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    onWriteFailure_ = std::move(handler);
}

int Library::FailedWrites() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failedWrites_;
}

void Library::WriterLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
            return;  // stopping, and everything queued is written
        }
        Write write = std::move(queue_.front());
        queue_.pop_front();
        writing_ = true;
        lock.unlock();

        std::string error;
        bool written = WriteOne(write, &error);

        lock.lock();
        writing_ = false;
        std::function<void(const std::string&)> report;
        if (!written && failedWrites_++ == 0) {
            report = onWriteFailure_;
        }
        if (report) {
            lock.unlock();
            report(error);
            lock.lock();
        }
        changed_.notify_all();
    }
}

bool Library::WriteOne(const Write& write, std::string* error) {
    SqliteDatabase& db = *db_;
    if (db.Exec("BEGIN IMMEDIATE") != SQLITE_OK) {
        *error = db.LastError();
        return false;
    }
    bool ok = false;
    if (const StoredSlot* slot = std::get_if<StoredSlot>(&write)) {
        ok = WriteSlot(*slot);
    } else if (const StoredDiscStyle* style = std::get_if<StoredDiscStyle>(&write)) {
        ok = WriteDiscStyle(*style);
    } else if (const StoredTrackNames* names = std::get_if<StoredTrackNames>(&write)) {
        ok = WriteTrackNames(*names);
    } else if (const StoredPlay* play = std::get_if<StoredPlay>(&write)) {
        ok = WritePlay(*play);
    }
    ok = ok && db.Exec("COMMIT") == SQLITE_OK;
    if (!ok) {
        *error = db.LastError();
        db.Exec("ROLLBACK");
    }
    return ok;
}

bool Library::WriteSlot(const StoredSlot& slot) {
    SqliteDatabase& db = *db_;
    SqliteStatement replace(db, kReplaceSlotSql);
    replace.Bind(1, slot.slot);
    replace.Bind(2, slot.present);
    replace.Bind(3, slot.discId);
    replace.Bind(4, slot.firstTrack);
    replace.Bind(5, slot.trackCount);
    replace.Bind(6, slot.discMinutes);
    replace.Bind(7, slot.discSeconds);
    replace.Bind(8, slot.readAt);
    bool ok = replace.Prepared() && replace.Run();

    SqliteStatement remove(db, kDeleteTracksSql);
    remove.Bind(1, slot.slot);
    ok = ok && remove.Prepared() && remove.Run();

    SqliteStatement insert(db, kInsertTrackSql);
    ok = ok && insert.Prepared();
    for (size_t i = 0; ok && i < slot.tracks.size(); ++i) {
        const StoredTrack& track = slot.tracks[i];
        insert.Reset();
        insert.Bind(1, slot.slot);
        insert.Bind(2, track.position);
        insert.Bind(3, track.startMinutes);
        insert.Bind(4, track.startSeconds);
        insert.Bind(5, track.lengthMinutes);
        insert.Bind(6, track.lengthSeconds);
        ok = insert.Run();
    }
    return ok;
}

bool Library::WriteDiscStyle(const StoredDiscStyle& style) {
    SqliteStatement replace(*db_, kReplaceDiscStyleSql);
    replace.Bind(1, style.discId);
    replace.Bind(2, style.style);
    return replace.Prepared() && replace.Run();
}

bool Library::WriteTrackNames(const StoredTrackNames& names) {
    SqliteStatement upsert(*db_, kUpsertTrackNamesSql);
    upsert.Bind(1, names.discId);
    upsert.Bind(2, names.track);
    upsert.Bind(3, names.title);
    upsert.Bind(4, names.style);
    return upsert.Prepared() && upsert.Run();
}

bool Library::WritePlay(const StoredPlay& play) {
    SqliteStatement insert(*db_, kInsertPlaySql);
    insert.Bind(1, play.playedAt);
    insert.Bind(2, play.discId);
    insert.Bind(3, play.track);
    bool ok = insert.Prepared() && insert.Run();
    SqliteStatement count(*db_, kUpsertTrackPlaySql);
    count.Bind(1, play.discId);
    count.Bind(2, play.track);
    count.Bind(3, play.playedAt);
    return ok && count.Prepared() && count.Run();
}
