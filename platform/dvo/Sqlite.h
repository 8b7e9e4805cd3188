// Thin RAII layer over the SQLite C API, used only inside libdvo.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "support/Error.h"

namespace qb::dvo {

// One open SQLite connection; closed on destruction.
class Connection {
public:
    // Opens fileName with the given SQLITE_OPEN_* flags; throws qb::Error on failure.
    Connection(const std::string& fileName, int flags);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* get() const { return db_; }
    // Runs one or more statements without results; throws on failure.
    void Exec(const char* sql);
    // Throws qb::Error with context + the connection's last message.
    [[noreturn]] void Fail(const std::string& context) const;
    // The same with the text of a result code, for calls that set no message.
    [[noreturn]] void Fail(const std::string& context, int code) const;

private:
    sqlite3* db_ = nullptr;
};

// One prepared statement; reset and rebound for each use.
class Statement {
public:
    Statement(Connection& conn, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Resets the statement and clears its bindings so it can be reused.
    Statement& Reset();
    Statement& Bind(int index, int64_t value);
    Statement& Bind(int index, std::string_view text);
    Statement& BindZeroBlob(int index, int64_t size);
    Statement& BindBlob(int index, const void* data, size_t size);
    // True while a row is available; false when done; throws on error.
    bool Step();
    // Runs a statement that yields no rows.
    void Run();

    int64_t Int(int column) const;
    // Text of a column as stored ("" for NULL).
    std::string Text(int column) const;

private:
    Connection& conn_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Transaction that rolls back unless committed.
class Transaction {
public:
    explicit Transaction(Connection& conn);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();

private:
    Connection& conn_;
    bool open_ = true;
};

}  // namespace qb::dvo
