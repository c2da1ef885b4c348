#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace verlisk::receiver {

// The little the report store needs of a SQL database, so that its queries are written
// once for SQLite and PostgreSQL. Failures throw StoreError.

using SqlValue = std::variant<std::string, std::int64_t, double>;
using SqlRow = std::vector<std::string>;  // every column as text

// One connection, held by one thread for one unit of work.
class SqlSession {
  public:
    virtual ~SqlSession() = default;
    // One statement with parameters $1, $2, ..., each row handed to `row` as it is read
    // (the same SqlRow, its texts replaced), so that a large result is never held whole.
    virtual void Each(const std::string& sql, const std::vector<SqlValue>& params,
                      const std::function<void(const SqlRow&)>& row) = 0;
    // The same, the rows kept.
    std::vector<SqlRow> Run(const std::string& sql, const std::vector<SqlValue>& params = {}) {
        std::vector<SqlRow> rows;
        Each(sql, params, [&](const SqlRow& r) { rows.push_back(r); });
        return rows;
    }
};

// Where the two databases' SQL differs.
struct SqlDialect {
    const char* idColumn;    // a 64-bit key the database gives in rising order
    const char* realType;    // a 64-bit float column
    const char* begin;       // starts a transaction that writes
    const char* schemaLock;  // then keeps other receivers out of the schema ("" if begin does)
    // Then keeps other receivers from adding reports of client $1 meanwhile ("" if begin does).
    const char* clientLock;
    const char* containsFunc;  // f(haystack, needle) > 0 when the text holds the needle
    // Writes go through one connection anyway: the reports waiting for it are committed
    // together, so that a commit's cost is shared.
    bool oneWriter;
    // The expression with its case folded as FoldCase does, whatever the database's locale.
    std::string (*fold)(const std::string& expr);
};

class SqlDatabase {
  public:
    virtual ~SqlDatabase() = default;
    // Waits for a connection; `write` asks for the one that may write where that matters.
    virtual std::unique_ptr<SqlSession> Session(bool write) = 0;
    virtual const SqlDialect& Dialect() const = 0;
};

std::unique_ptr<SqlDatabase> OpenSqlite(const std::string& path, bool fsync);
std::unique_ptr<SqlDatabase> OpenPostgres(const std::string& url);

}  // namespace verlisk::receiver
