#include <libpq-fe.h>
#include <poll.h>

#include <charconv>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "receiver/report.h"
#include "receiver/sql.h"
#include "receiver/store.h"

namespace verlisk::receiver {
namespace {

// Receivers sharing the database take their schema turn under an advisory lock, and
// their turn to add a client's report under another, one per client identifier.
// lower() folds ASCII in every locale; the rest of code page 1252's letters by table, so
// that a database created with the C locale finds what SQLite finds.
std::string Fold(const std::string& expr) {
    return "lower(translate(" + expr + ", '" + std::string(kCapitals) + "', '" +
           std::string(kSmalls) + "'))";
}

const SqlDialect kPostgres = {"bigserial PRIMARY KEY",
                              "double precision",
                              "BEGIN",
                              "SELECT pg_advisory_xact_lock(8350)",
                              "SELECT pg_advisory_xact_lock(8351, hashtext($1))",
                              "strpos",
                              false,
                              Fold};

constexpr unsigned kInt8Oid = 20;
constexpr unsigned kFloat8Oid = 701;
constexpr std::size_t kMaxConnections = 16;

std::string ErrorText(const char* what, PGconn* c) {
    std::string s = std::string(what) + ": " + PQerrorMessage(c);
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

// Connections are opened as needed, up to a limit, and kept. One found closed when
// taken (the server restarted) is replaced; one that breaks in use is dropped, so the
// next request connects afresh.
class PostgresDatabase : public SqlDatabase {
  public:
    explicit PostgresDatabase(std::string url) : url_(std::move(url)) {}

    ~PostgresDatabase() override {
        for (PGconn* c : idle_) PQfinish(c);
    }

    std::unique_ptr<SqlSession> Session(bool) override;
    const SqlDialect& Dialect() const override { return kPostgres; }

    PGconn* Take() {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [&] { return !idle_.empty() || open_ < kMaxConnections; });
        while (!idle_.empty()) {
            PGconn* c = idle_.back();
            idle_.pop_back();
            // An idle connection has nothing to say: input means the server hung up.
            pollfd p{PQsocket(c), POLLIN, 0};
            if (poll(&p, 1, 0) == 0) return c;
            PQfinish(c);
            --open_;
        }
        ++open_;
        lock.unlock();
        return Connect();
    }

    void Give(PGconn* c) {
        {
            std::lock_guard lock(mutex_);
            if (PQstatus(c) == CONNECTION_OK && PQtransactionStatus(c) == PQTRANS_IDLE) {
                idle_.push_back(c);
            } else {
                PQfinish(c);
                --open_;
            }
        }
        freed_.notify_one();
    }

  private:
    PGconn* Connect() {
        // The URL's own connect_timeout, if it has one, comes later and wins.
        const char* keys[] = {"connect_timeout", "dbname", nullptr};
        const char* values[] = {"5", url_.c_str(), nullptr};
        PGconn* c = PQconnectdbParams(keys, values, 1);
        if (PQstatus(c) == CONNECTION_OK) {
            PQsetNoticeProcessor(
                c, [](void*, const char*) {}, nullptr);
            return c;
        }
        const auto why = ErrorText("cannot connect to PostgreSQL", c);
        PQfinish(c);
        {
            std::lock_guard lock(mutex_);
            --open_;
        }
        freed_.notify_one();
        throw StoreUnreachable(why);
    }

    const std::string url_;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<PGconn*> idle_;
    std::size_t open_ = 0;
};

class Session : public SqlSession {
  public:
    explicit Session(PostgresDatabase& db) : db_(db), c_(db.Take()) {}
    ~Session() override { db_.Give(c_); }

    void Each(const std::string& sql, const std::vector<SqlValue>& params,
              const std::function<void(const SqlRow&)>& row) override {
        std::vector<std::string> text;
        std::vector<unsigned> types;
        for (const auto& p : params) {
            char buf[32];
            if (const auto* s = std::get_if<std::string>(&p)) {
                text.push_back(*s);
                types.push_back(0);  // the server infers it
            } else if (const auto* n = std::get_if<std::int64_t>(&p)) {
                text.emplace_back(buf, std::to_chars(buf, buf + sizeof buf, *n).ptr);
                types.push_back(kInt8Oid);
            } else {
                text.emplace_back(buf,
                                  std::to_chars(buf, buf + sizeof buf, std::get<double>(p)).ptr);
                types.push_back(kFloat8Oid);
            }
        }
        std::vector<const char*> values;
        for (const auto& t : text) values.push_back(t.c_str());
        PGresult* res = PQexecParams(c_, sql.c_str(), static_cast<int>(params.size()), types.data(),
                                     values.data(), nullptr, nullptr, 0);
        const auto status = PQresultStatus(res);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            PQclear(res);
            throw StoreError(ErrorText("PostgreSQL", c_));
        }
        const std::unique_ptr<PGresult, void (*)(PGresult*)> result(res, PQclear);
        SqlRow r(static_cast<std::size_t>(PQnfields(res)));
        for (int n = 0; n < PQntuples(res); ++n) {
            for (std::size_t col = 0; col < r.size(); ++col)
                r[col].assign(PQgetvalue(res, n, static_cast<int>(col)),
                              static_cast<std::size_t>(PQgetlength(res, n, static_cast<int>(col))));
            row(r);
        }
    }

  private:
    PostgresDatabase& db_;
    PGconn* c_;
};

std::unique_ptr<SqlSession> PostgresDatabase::Session(bool) {
    return std::make_unique<class Session>(*this);
}

}  // namespace

std::unique_ptr<SqlDatabase> OpenPostgres(const std::string& url) {
    return std::make_unique<PostgresDatabase>(url);
}

}  // namespace verlisk::receiver
