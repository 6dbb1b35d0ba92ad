// A small RAII layer over SQLite: one connection, prepared statements, and
// the few calls the library file needs. Nothing here knows the schema.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

class SqliteStatement;

class SqliteDatabase {
public:
    SqliteDatabase() = default;
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Opens (creating when absent) the file read-write. Returns SQLite's
    // result code; the connection is kept even on failure, for its message.
    int Open(const std::string& path);
    void Close();

    // Runs one or more statements that return no rows; SQLite's result code.
    int Exec(const char* sql);
    // The single integer a statement such as a PRAGMA returns; false on error.
    bool QueryInt(const char* sql, int64_t* value, int* code = nullptr);
    // The single text a statement returns; false on error.
    bool QueryText(const char* sql, std::string* value, int* code = nullptr);

    bool ReadOnly() const;
    std::string LastError() const;
    sqlite3* Handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

class SqliteStatement {
public:
    SqliteStatement(const SqliteDatabase& db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // SQLite's result code of preparing the statement.
    int PrepareCode() const { return prepareCode_; }
    bool Prepared() const { return stmt_ != nullptr; }

    void Bind(int index, int64_t value);
    void Bind(int index, const std::string& value);
    // One step: true while it gives a row; code() then tells done or error.
    bool Step();
    // Steps to the end; true when it finished without error.
    bool Run();
    void Reset();
    int Code() const { return code_; }

    bool IsInteger(int column) const;
    bool IsText(int column) const;
    int64_t Integer(int column) const;
    std::string Text(int column) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
    int prepareCode_ = 0;
    int code_ = 0;
};
