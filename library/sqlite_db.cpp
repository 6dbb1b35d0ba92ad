// The RAII layer over SQLite's C interface.
#include "library/sqlite_db.h"

#include <sqlite3.h>

SqliteDatabase::~SqliteDatabase() {
    Close();
}

int SqliteDatabase::Open(const std::string& path) {
    Close();
    return sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
}

void SqliteDatabase::Close() {
    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

int SqliteDatabase::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

bool SqliteDatabase::QueryInt(const char* sql, int64_t* value, int* code) {
    SqliteStatement statement(*this, sql);
    bool row = statement.Prepared() && statement.Step() && statement.IsInteger(0);
    if (row) {
        *value = statement.Integer(0);
    }
    if (code != nullptr) {
        *code = statement.Prepared() ? statement.Code() : statement.PrepareCode();
    }
    return row;
}

bool SqliteDatabase::QueryText(const char* sql, std::string* value, int* code) {
    SqliteStatement statement(*this, sql);
    bool row = statement.Prepared() && statement.Step();
    if (row) {
        *value = statement.Text(0);
    }
    if (code != nullptr) {
        *code = statement.Prepared() ? statement.Code() : statement.PrepareCode();
    }
    return row;
}

bool SqliteDatabase::ReadOnly() const {
    return db_ != nullptr && sqlite3_db_readonly(db_, "main") == 1;
}

std::string SqliteDatabase::LastError() const {
    return db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
}

SqliteStatement::SqliteStatement(const SqliteDatabase& db, const char* sql) {
    prepareCode_ = sqlite3_prepare_v2(db.Handle(), sql, -1, &stmt_, nullptr);
    if (prepareCode_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

void SqliteStatement::Bind(int index, int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
}

void SqliteStatement::Bind(int index, const std::string& value) {
    sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

bool SqliteStatement::Step() {
    code_ = sqlite3_step(stmt_);
    return code_ == SQLITE_ROW;
}

bool SqliteStatement::Run() {
    while (Step()) {
    }
    return code_ == SQLITE_DONE;
}

void SqliteStatement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

bool SqliteStatement::IsInteger(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_INTEGER;
}

bool SqliteStatement::IsText(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_TEXT;
}

int64_t SqliteStatement::Integer(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

std::string SqliteStatement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    int bytes = sqlite3_column_bytes(stmt_, column);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text), bytes)
                           : std::string();
}
