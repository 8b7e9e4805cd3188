#include "dvo/Sqlite.h"

namespace qb::dvo {

Connection::Connection(const std::string& fileName, int flags) {
    int rc = sqlite3_open_v2(fileName.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw Error("Cannot open database " + fileName + ": " + message);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, 2000);
}

Connection::~Connection() {
    // Statements are owned by the callers and finalized before this runs.
    sqlite3_close_v2(db_);
}

void Connection::Exec(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::string message = err ? err : sqlite3_errmsg(db_);
        sqlite3_free(err);
        throw Error("Database error: " + message);
    }
}

void Connection::Fail(const std::string& context) const { throw Error(context + ": " + sqlite3_errmsg(db_)); }

void Connection::Fail(const std::string& context, int code) const {
    // A failed bind leaves the connection's own message at "not an error".
    throw Error(context + ": " + sqlite3_errstr(code));
}

Statement::Statement(Connection& conn, const char* sql) : conn_(conn) {
    if (sqlite3_prepare_v2(conn.get(), sql, -1, &stmt_, nullptr) != SQLITE_OK) conn.Fail("Database error");
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    return *this;
}

Statement& Statement::Bind(int index, int64_t value) {
    if (const int rc = sqlite3_bind_int64(stmt_, index, value); rc != SQLITE_OK) conn_.Fail("Database error", rc);
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    if (const int rc =
            sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        rc != SQLITE_OK)
        conn_.Fail("Database error", rc);
    return *this;
}

Statement& Statement::BindZeroBlob(int index, int64_t size) {
    if (const int rc = sqlite3_bind_zeroblob64(stmt_, index, static_cast<sqlite3_uint64>(size)); rc != SQLITE_OK)
        conn_.Fail("Database error", rc);
    return *this;
}

Statement& Statement::BindBlob(int index, const void* data, size_t size) {
    // A null pointer would store NULL; an empty file is an empty blob.
    static const char empty = 0;
    if (const int rc = sqlite3_bind_blob64(stmt_, index, data ? data : &empty, static_cast<sqlite3_uint64>(size),
                                           SQLITE_TRANSIENT);
        rc != SQLITE_OK)
        conn_.Fail("Database error", rc);
    return *this;
}

bool Statement::Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    conn_.Fail("Database error");
}

void Statement::Run() {
    while (Step()) {}
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }


std::string Statement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    if (!text) return {};
    return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}

Transaction::Transaction(Connection& conn) : conn_(conn) { conn_.Exec("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
    if (open_) sqlite3_exec(conn_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
    conn_.Exec("COMMIT");
    open_ = false;
}

}  // namespace qb::dvo
