#include "receiver/store.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include "receiver/sql.h"

namespace verlisk::receiver {
namespace {

// Step i takes the schema from version i to i + 1. A later change appends a step; the
// version a database is at is kept in receiver_schema.
std::vector<std::vector<std::string>> Migrations(const SqlDialect& d) {
    return {
        {
            std::string("CREATE TABLE reports (id ") + d.idColumn +
                ", received_ms BIGINT NOT NULL, sender TEXT NOT NULL, client_id TEXT NOT NULL,"
                " aircraft TEXT NOT NULL, pph " +
                d.realType +
                " NOT NULL, version TEXT NOT NULL, zfw INTEGER NOT NULL, mtank INTEGER NOT NULL)",
            "CREATE INDEX reports_by_client ON reports (client_id, id)",
        },
        {
            // A flight sent again is counted on its report; a removed report is kept aside.
            "ALTER TABLE reports ADD COLUMN repeats INTEGER NOT NULL DEFAULT 0",
            "CREATE INDEX reports_by_client_time ON reports (client_id, received_ms)",
            std::string(
                "CREATE TABLE removed_reports (id BIGINT PRIMARY KEY, received_ms BIGINT NOT"
                " NULL, sender TEXT NOT NULL, client_id TEXT NOT NULL, aircraft TEXT NOT NULL,"
                " pph ") +
                d.realType +
                " NOT NULL, version TEXT NOT NULL, zfw INTEGER NOT NULL, mtank INTEGER NOT NULL,"
                " repeats INTEGER NOT NULL, removed_ms BIGINT NOT NULL, reason TEXT NOT NULL)",
        },
        {
            // Every report wrote it, and the other serves a client's reports as well.
            "DROP INDEX reports_by_client",
        }};
}

// What a report is, in both tables.
const std::string kColumns =
    "id, received_ms, sender, client_id, aircraft, pph, version, zfw, mtank, repeats";

// Runs `work` between the dialect's begin and COMMIT; a failure rolls it back.
void InTransaction(SqlSession& s, const SqlDialect& d, const std::function<void()>& work) {
    s.Run(d.begin);
    try {
        work();
        s.Run("COMMIT");
    } catch (...) {
        // Whatever failed, the one writer's connection must not stay inside a transaction
        // that every later report would wait behind.
        try {
            s.Run("ROLLBACK");
        } catch (const StoreError&) {
            // the connection is gone; so is the transaction
        }
        throw;
    }
}

std::int64_t ToInt(const std::string& s) {
    std::int64_t v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

double ToDouble(const std::string& s) {
    double v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

class SqlStore : public ReportStore {
  public:
    explicit SqlStore(std::unique_ptr<SqlDatabase> db) : db_(std::move(db)) { Migrate(); }

    Added Add(const StoredReport& s) override {
        const auto& d = db_->Dialect();
        if (!d.oneWriter) {
            const auto session = db_->Session(true);
            // Without an identifier there is nothing to look up, so nothing to hold together.
            if (s.report.clientId.empty()) return AddIn(*session, d, s);
            Added out;
            InTransaction(*session, d, [&] { out = AddIn(*session, d, s); });
            return out;
        }
        Waiting w;
        w.report = &s;
        std::unique_lock lock(mutex_);
        waiting_.push_back(&w);
        // The first to find no commit under way commits everything waiting, its own report
        // included; the others wait for that commit, or for their turn to lead the next.
        // The caller's thread does the work: handing it to a writer thread and back cost
        // more than the commit itself.
        while (!w.done) {
            if (writing_) {
                w.turn.wait(lock);
                continue;
            }
            writing_ = true;
            const auto batch = std::exchange(waiting_, {});
            lock.unlock();
            CommitBatch(batch);
            lock.lock();
            writing_ = false;
            for (Waiting* b : batch) {
                b->done = true;
                b->turn.notify_one();
            }
            if (!waiting_.empty()) waiting_.front()->turn.notify_one();
        }
        if (w.failure) std::rethrow_exception(w.failure);
        return w.added;
    }

    bool Remove(std::int64_t id, const std::string& reason, std::int64_t nowMs) override {
        // Parameters in the order they appear: SQLite numbers "$n" by first appearance.
        return Move(id,
                    "INSERT INTO removed_reports (removed_ms, reason, " + kColumns +
                        ") SELECT $1, $2, " + kColumns + " FROM reports WHERE id = $3 RETURNING id",
                    "DELETE FROM reports WHERE id = $1", {nowMs, reason, id});
    }

    bool Restore(std::int64_t id) override {
        return Move(id,
                    "INSERT INTO reports (" + kColumns + ") SELECT " + kColumns +
                        " FROM removed_reports WHERE id = $1 RETURNING id",
                    "DELETE FROM removed_reports WHERE id = $1", {id});
    }

    std::vector<StoredReport> List(const Filter& f, std::int64_t beforeId, std::int64_t offset,
                                   int limit) override {
        auto q = Where(f);
        if (beforeId) q.And("id < " + q.Param(beforeId));
        // One Param a statement: SQLite numbers "$n" in the order the text has them.
        q.sql += " ORDER BY id DESC LIMIT " + q.Param(std::int64_t{limit});
        q.sql += " OFFSET " + q.Param(offset);
        const auto rows = db_->Session(false)->Run(
            "SELECT id, received_ms, sender, client_id, aircraft, pph, version, zfw, mtank"
            " FROM reports" +
                q.sql,
            q.params);
        std::vector<StoredReport> out;
        out.reserve(rows.size());
        for (const auto& row : rows) {
            out.push_back(
                {ToInt(row[0]), ToInt(row[1]), row[2],
                 Report{row[4], ToDouble(row[5]), row[6], static_cast<std::int32_t>(ToInt(row[7])),
                        static_cast<std::int32_t>(ToInt(row[8])), row[3]}});
        }
        return out;
    }

    std::int64_t Count(const Filter& f) override {
        const auto q = Where(f);
        return ToInt(
            db_->Session(false)->Run("SELECT count(*) FROM reports" + q.sql, q.params)[0][0]);
    }

    // Worked out here from the flights' figures rather than in SQL: SQLite's window
    // functions take ~0.4 s over 100,000 reports, and the same code gives both databases
    // the same medians and means to the last bit.
    std::vector<AircraftSummary> ByAircraft(const Filter& f) override {
        std::unordered_map<std::string, std::vector<double>> pph;
        const auto q = Where(f);
        db_->Session(false)->Each(
            "SELECT aircraft, pph FROM reports" + q.sql, q.params,
            [&](const SqlRow& row) { pph[row[0]].push_back(ToDouble(row[1])); });
        std::vector<AircraftSummary> out;
        out.reserve(pph.size());
        for (auto& [aircraft, v] : pph) {
            std::sort(v.begin(), v.end());
            const auto n = v.size();
            double sum = 0;
            for (double x : v) sum += x;
            out.push_back({aircraft, static_cast<std::int64_t>(n), sum / static_cast<double>(n),
                           n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2});
        }
        // Sorted here so that ties come out alike whatever the database's collation.
        std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
            return a.medianPph != b.medianPph ? a.medianPph > b.medianPph : a.aircraft < b.aircraft;
        });
        return out;
    }

  private:
    // A report waiting for the commit of its batch, answered once it is done or has failed.
    struct Waiting {
        const StoredReport* report = nullptr;
        Added added;
        std::exception_ptr failure;
        bool done = false;
        std::condition_variable turn;  // its batch is done, or it may lead the next
    };

    // Stores the report, or counts it on the one it repeats; in the caller's transaction where
    // the lookup needs one.
    static Added AddIn(SqlSession& session, const SqlDialect& d, const StoredReport& s) {
        const Report& r = s.report;
        const auto insert = [&] {
            return ToInt(session.Run(
                "INSERT INTO reports (received_ms, sender, client_id, aircraft, pph, version, zfw,"
                " mtank) VALUES ($1, $2, $3, $4, $5, $6, $7, $8) RETURNING id",
                {s.receivedMs, s.sender, r.clientId, r.aircraft, r.pph, r.version,
                 std::int64_t{r.zfw}, std::int64_t{r.mtank}})[0][0]);
        };
        // Without an identifier two pilots' flights cannot be told apart.
        if (r.clientId.empty()) return {insert(), 0};
        if (*d.clientLock) session.Run(d.clientLock, {r.clientId});
        const auto same = session.Run(
            "SELECT id FROM reports WHERE client_id = $1 AND aircraft = $2 AND zfw = $3 AND"
            " mtank = $4 AND received_ms > $5 ORDER BY id DESC LIMIT 1",
            {r.clientId, r.aircraft, std::int64_t{r.zfw}, std::int64_t{r.mtank},
             s.receivedMs - kRepeatWindowMs});
        if (same.empty()) return {insert(), 0};
        const auto id = ToInt(same[0][0]);
        return {id, ToInt(session.Run(
                        "UPDATE reports SET repeats = repeats + 1 WHERE id = $1 RETURNING repeats",
                        {id})[0][0])};
    }

    // Every report waiting goes into one transaction, in the order they came (a second copy
    // of a flight finds the first). A failure fails the whole batch: none of it is stored,
    // and each pilot is told so and sends again.
    void CommitBatch(const std::vector<Waiting*>& batch) {
        const auto& d = db_->Dialect();
        try {
            const auto session = db_->Session(true);
            InTransaction(*session, d, [&] {
                for (Waiting* w : batch) w->added = AddIn(*session, d, *w->report);
            });
        } catch (...) {
            for (Waiting* w : batch) w->failure = std::current_exception();
        }
    }

    // Copies report `id` from one table to the other and deletes it where it was.
    bool Move(std::int64_t id, const std::string& copy, const std::string& drop,
              const std::vector<SqlValue>& params) {
        const auto session = db_->Session(true);
        bool moved = false;
        InTransaction(*session, db_->Dialect(), [&] {
            moved = !session->Run(copy, params).empty();
            if (moved) session->Run(drop, {id});
        });
        return moved;
    }

    // A query's conditions and their parameters, numbered in the order they appear (as
    // SQLite numbers "$n").
    struct Query {
        std::string sql;
        std::vector<SqlValue> params;

        std::string Param(SqlValue v) {
            params.push_back(std::move(v));
            return "$" + std::to_string(params.size());
        }
        void And(const std::string& condition) {
            sql += (sql.empty() ? " WHERE " : " AND ") + condition;
        }
    };

    // Only the conditions the filter sets: a condition that holds for every row still costs
    // every row its test, and a client's reports are then found by the index.
    Query Where(const Filter& f) const {
        const auto& d = db_->Dialect();
        Query q;
        if (!f.clientId.empty() || f.emptyClient) q.And("client_id = " + q.Param(f.clientId));
        if (!f.aircraft.empty()) {
            q.And(std::string(d.containsFunc) + "(" + d.fold("aircraft") + ", " +
                  d.fold(q.Param(f.aircraft)) + ") > 0");
        }
        if (f.fromMs) q.And("received_ms >= " + q.Param(*f.fromMs));
        if (f.untilMs) q.And("received_ms < " + q.Param(*f.untilMs));
        return q;
    }

    static std::int64_t SchemaVersion(SqlSession& s) {
        const auto rows = s.Run("SELECT version FROM receiver_schema");
        return rows.empty() ? 0 : ToInt(rows[0][0]);
    }

    void Migrate() {
        const auto steps = Migrations(db_->Dialect());
        const auto target = static_cast<std::int64_t>(steps.size());
        const auto session = db_->Session(true);
        // A database that is up to date is not written to: a read-only one still opens.
        try {
            if (SchemaVersion(*session) == target) return;
        } catch (const StoreError&) {
            // no schema yet
        }
        const auto& d = db_->Dialect();
        InTransaction(*session, d, [&] {
            if (*d.schemaLock) session->Run(d.schemaLock);
            session->Run("CREATE TABLE IF NOT EXISTS receiver_schema (version INTEGER NOT NULL)");
            const auto from = SchemaVersion(*session);
            if (from > target) {
                throw StoreError("the database has schema version " + std::to_string(from) +
                                 ", newer than this receiver's " + std::to_string(target) +
                                 ": run a newer receiver");
            }
            for (auto v = from; v < target; ++v) {
                for (const auto& sql : steps[static_cast<std::size_t>(v)]) session->Run(sql);
            }
            session->Run("DELETE FROM receiver_schema");
            session->Run("INSERT INTO receiver_schema (version) VALUES ($1)", {target});
        });
    }

    std::unique_ptr<SqlDatabase> db_;
    // For a database with one writer.
    std::mutex mutex_;  // over the two below
    std::vector<Waiting*> waiting_;
    bool writing_ = false;  // a batch is being committed
};

// The first pause after the database went away, and the longest: a database back within
// a second is used within a second; one away for long is asked twice a minute.
constexpr auto kFirstRetry = std::chrono::milliseconds(250);
constexpr auto kLongestRetry = std::chrono::seconds(30);

class ReachableStore : public ReportStore {
  public:
    ReachableStore(StoreOptions options, std::function<void(const std::string&)> log)
        : options_(std::move(options)), log_(std::move(log)) {
        try {
            store_ = OpenStore(options_);
        } catch (const StoreUnreachable& e) {
            Away(e.what());
        }
        retrier_ = std::thread([this] { Retry(); });
    }
    ~ReachableStore() override {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        retrier_.join();
    }

    Added Add(const StoredReport& r) override {
        Added out;
        Use([&](ReportStore& s) { out = s.Add(r); });
        return out;
    }
    bool Remove(std::int64_t id, const std::string& reason, std::int64_t nowMs) override {
        bool done = false;
        Use([&](ReportStore& s) { done = s.Remove(id, reason, nowMs); });
        return done;
    }
    bool Restore(std::int64_t id) override {
        bool done = false;
        Use([&](ReportStore& s) { done = s.Restore(id); });
        return done;
    }
    std::vector<StoredReport> List(const Filter& f, std::int64_t beforeId, std::int64_t offset,
                                   int limit) override {
        std::vector<StoredReport> out;
        Use([&](ReportStore& s) { out = s.List(f, beforeId, offset, limit); });
        return out;
    }
    std::int64_t Count(const Filter& f) override {
        std::int64_t n = 0;
        Use([&](ReportStore& s) { n = s.Count(f); });
        return n;
    }
    std::vector<AircraftSummary> ByAircraft(const Filter& f) override {
        std::vector<AircraftSummary> out;
        Use([&](ReportStore& s) { out = s.ByAircraft(f); });
        return out;
    }

  private:
    void Use(const std::function<void(ReportStore&)>& call) {
        std::shared_ptr<ReportStore> store;
        {
            std::lock_guard lock(mutex_);
            if (!reason_.empty()) throw StoreError(reason_);
            store = store_;
        }
        try {
            call(*store);
        } catch (const StoreUnreachable& e) {
            Away(e.what());
            throw;
        }
    }

    void Away(const std::string& why) {
        {
            std::lock_guard lock(mutex_);
            if (!reason_.empty()) return;
            reason_ = why;
        }
        log_("database unavailable: " + why + "; trying again in the background");
        changed_.notify_all();
    }

    void Retry() {
        auto pause = kFirstRetry;
        std::unique_lock lock(mutex_);
        while (!closing_) {
            if (reason_.empty()) {
                pause = kFirstRetry;
                changed_.wait(lock);
                continue;
            }
            if (changed_.wait_for(lock, pause, [&] { return closing_; })) break;
            pause = std::min<std::chrono::milliseconds>(pause * 2, kLongestRetry);
            auto store = store_;
            lock.unlock();
            std::string failure;
            try {
                // A PostgreSQL store opened once only needs a connection again.
                if (store) {
                    store->Count({});
                } else {
                    store = OpenStore(options_);
                }
            } catch (const StoreError& e) {
                failure = e.what();
            }
            lock.lock();
            if (failure.empty()) {
                store_ = store;
                reason_.clear();
                lock.unlock();
                log_("database available again");
                lock.lock();
            }
        }
    }

    const StoreOptions options_;
    const std::function<void(const std::string&)> log_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::shared_ptr<ReportStore> store_;
    std::string reason_;  // why the database is away; empty while it is there
    bool closing_ = false;
    std::thread retrier_;
};

}  // namespace

std::unique_ptr<ReportStore> OpenStoreWhenReachable(const StoreOptions& options,
                                                    std::function<void(const std::string&)> log) {
    return std::make_unique<ReachableStore>(options, std::move(log));
}

bool IsPostgresUrl(const std::string& db) {
    return db.starts_with("postgresql://") || db.starts_with("postgres://");
}

std::unique_ptr<ReportStore> OpenStore(const StoreOptions& o) {
    return std::make_unique<SqlStore>(IsPostgresUrl(o.db) ? OpenPostgres(o.db)
                                                          : OpenSqlite(o.db, o.fsync));
}

}  // namespace verlisk::receiver
