// The library file: what the program remembers between runs (the magazine
// as the last scan read it, and the names, styles and plays of discs and
// tracks, keyed by the disc identifier), in an SQLite database. Opened once
// at start-up; every write is one small transaction done by a writer thread
// of its own, so that no caller waits for the disk.
//
// This layer knows the file and its schema only; what a valid slot is, is
// decided by the caller.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

class SqliteDatabase;
struct LibraryOpening;

// The file's name, in the working folder.
const char kLibraryFileName[] = "zubcd.db";

// One track of a stored slot: track first + position.
struct StoredTrack {
    int64_t position = 0;
    int64_t startMinutes = 0;
    int64_t startSeconds = 0;
    int64_t lengthMinutes = 0;
    int64_t lengthSeconds = 0;
};

// One slot as the file holds it, unchecked.
struct StoredSlot {
    int64_t slot = 0;
    int64_t present = 0;
    std::string discId;
    int64_t firstTrack = 0;
    int64_t trackCount = 0;
    int64_t discMinutes = 0;
    int64_t discSeconds = 0;
    int64_t readAt = 0;  // seconds since 1970, UTC
    std::vector<StoredTrack> tracks;
};

// A disc's style as the file holds it, unchecked.
struct StoredDiscStyle {
    std::string discId;
    std::string style;
};

// A track's names and plays (track as the disc numbers it), unchecked.
struct StoredTrackNote {
    std::string discId;
    int64_t track = 0;
    std::string title;
    std::string style;
    int64_t playCount = 0;
    int64_t lastPlayed = 0;  // seconds since 1970, UTC; 0: never
};

// A track's title and style set anew; its plays stay as they are.
struct StoredTrackNames {
    std::string discId;
    int64_t track = 0;
    std::string title;
    std::string style;
};

// One play of a track.
struct StoredPlay {
    int64_t playedAt = 0;  // seconds since 1970, UTC
    std::string discId;
    int64_t track = 0;
};

// How many of the newest plays OpenLibrary reads.
const int kRecentPlaysRead = 1000;

class Library {
public:
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Each Store call queues one write and returns at once; the writer does
    // each in one transaction of its own, in the order queued. Dropped once
    // closed.
    // Replaces the slot's row and its tracks.
    void StoreSlot(StoredSlot slot);
    // Sets the disc's style.
    void StoreDiscStyle(StoredDiscStyle style);
    // Sets the track's title and style, keeping its plays.
    void StoreTrackNames(StoredTrackNames names);
    // Adds the play to the history and counts it on its track.
    void StorePlay(StoredPlay play);
    // Waits until every write queued so far is done (or has failed).
    void Flush();
    // Writes what is queued, stops the writer and closes the file.
    void Close();

    // Called once, on the writer thread with no lock held, when a write
    // first fails; the text says why.
    void SetWriteFailureHandler(std::function<void(const std::string&)> handler);
    int FailedWrites();

private:
    friend LibraryOpening OpenLibrary(const std::string& path, std::time_t now);
    explicit Library(std::unique_ptr<SqliteDatabase> db);
    using Write = std::variant<StoredSlot, StoredDiscStyle, StoredTrackNames, StoredPlay>;

    void Queue(Write write);
    void WriterLoop();
    bool WriteOne(const Write& write, std::string* error);
    bool WriteSlot(const StoredSlot& slot);
    bool WriteDiscStyle(const StoredDiscStyle& style);
    bool WriteTrackNames(const StoredTrackNames& names);
    bool WritePlay(const StoredPlay& play);

    std::unique_ptr<SqliteDatabase> db_;  // used only by the writer once it runs
    // Guards the queue and the flags below. Innermost of all the program's
    // locks: nothing is called while it is held.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Write> queue_;
    bool writing_ = false;
    bool stopping_ = false;
    bool closed_ = false;
    int failedWrites_ = 0;
    std::function<void(const std::string&)> onWriteFailure_;
    std::thread writer_;
};

enum LibraryOpenOutcome {
    LibraryReady,       // open; slots holds what it remembers
    LibraryMovedAside,  // not a database, or damaged: renamed to movedTo
    LibraryLeftAlone,   // not ours, newer, read-only or not openable: untouched
};

struct LibraryOpening {
    LibraryOpenOutcome outcome = LibraryLeftAlone;
    std::string problem;  // what is wrong, as "<file> <problem>" reads
    std::string movedTo;  // LibraryMovedAside: the file's new path
    std::unique_ptr<Library> library;
    std::vector<StoredSlot> slots;  // in slot order
    std::vector<StoredDiscStyle> discStyles;
    std::vector<StoredTrackNote> trackNotes;
    std::vector<StoredPlay> recentPlays;  // the newest kRecentPlaysRead, oldest first
    int unreadableRows = 0;               // rows whose columns had the wrong types
};

// Opens or creates the library at path, brings its schema up to date and
// reads it. now names a file moved aside: <path>.bad-YYYYMMDD-HHMMSS in
// local time. Never deletes or overwrites a file.
LibraryOpening OpenLibrary(const std::string& path, std::time_t now);
