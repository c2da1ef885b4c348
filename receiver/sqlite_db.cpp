#include <sqlite3.h>

#include <charconv>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "receiver/report.h"
#include "receiver/sql.h"
#include "receiver/store.h"

namespace verlisk::receiver {
namespace {

// SQLite's own lower() knows ASCII only: FoldCase is registered on every connection.
std::string Fold(const std::string& expr) { return "verlisk_fold(" + expr + ")"; }

void FoldFunction(sqlite3_context* context, int, sqlite3_value** args) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    const std::string folded = FoldCase(
        text ? std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(args[0])))
             : std::string_view());
    sqlite3_result_text(context, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

const SqlDialect kSqlite = {
    "INTEGER PRIMARY KEY", "REAL", "BEGIN IMMEDIATE", "", "", "instr", true, Fold};

// A checkpoint copies the log into the database file and flushes both. SQLite's own
// runs inside the commit that crosses its threshold, so every report behind that one
// waited for the flush. Ours runs on a thread of its own from the same threshold.
constexpr int kCheckpointFrames = 1000;  // 1 MB of log at a new file's page size

// How long a connection waits for a lock another holds, SQLite's or our own retry.
constexpr int kLockWaitMs = 5000;
constexpr int kRetryMs = 10;

// One connection and the statements prepared on it; one thread at a time.
struct Connection {
    sqlite3* db = nullptr;
    std::mutex mutex;
    std::unordered_map<std::string, sqlite3_stmt*> statements;

    ~Connection() {
        for (auto& [sql, st] : statements) sqlite3_finalize(st);
        sqlite3_close(db);
    }

    [[noreturn]] void Fail() const { throw StoreError(sqlite3_errmsg(db)); }

    void Open(const std::string& path, const char* setup) {
        // No lock of SQLite's own around every call: `mutex` already keeps it to one thread.
        if (sqlite3_open_v2(path.c_str(), &db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            throw StoreUnreachable("cannot open " + path + ": " + sqlite3_errmsg(db));
        }
        if (sqlite3_create_function_v2(
                db, "verlisk_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                nullptr, FoldFunction, nullptr, nullptr, nullptr) != SQLITE_OK) {
            Fail();
        }
        // Switching a new file to WAL needs it alone, and SQLite answers "locked" at once
        // rather than wait: beside a receiver starting too, try again as a lock waits.
        for (int i = 0; sqlite3_exec(db, setup, nullptr, nullptr, nullptr) != SQLITE_OK; ++i) {
            if (sqlite3_errcode(db) != SQLITE_BUSY || i == kLockWaitMs / kRetryMs) Fail();
            std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
        }
    }

    sqlite3_stmt* Prepare(const std::string& sql) {
        auto& st = statements[sql];
        if (!st && sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) {
            Fail();
        }
        return st;
    }
};

void ColumnText(sqlite3_stmt* st, int i, std::string& out) {
    if (sqlite3_column_type(st, i) == SQLITE_FLOAT) {
        // SQLite's own text keeps 15 digits; this keeps the double.
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, sqlite3_column_double(st, i));
        out.assign(buf, r.ptr);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
    out.assign(text ? text : "", text ? static_cast<std::size_t>(sqlite3_column_bytes(st, i)) : 0);
}

class Session : public SqlSession {
  public:
    explicit Session(Connection& c) : c_(c), lock_(c.mutex) {}

    void Each(const std::string& sql, const std::vector<SqlValue>& params,
              const std::function<void(const SqlRow&)>& row) override {
        sqlite3_stmt* st = c_.Prepare(sql);
        // Ready for the next use however this one ends.
        const std::unique_ptr<sqlite3_stmt, void (*)(sqlite3_stmt*)> done(st, [](sqlite3_stmt* s) {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        });
        for (std::size_t i = 0; i < params.size(); ++i)
            Bind(st, static_cast<int>(i + 1), params[i]);
        SqlRow r(static_cast<std::size_t>(sqlite3_column_count(st)));
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            for (std::size_t i = 0; i < r.size(); ++i) ColumnText(st, static_cast<int>(i), r[i]);
            row(r);
        }
        if (rc != SQLITE_DONE) c_.Fail();
    }

  private:
    static void Bind(sqlite3_stmt* st, int i, const SqlValue& v) {
        if (const auto* s = std::get_if<std::string>(&v)) {
            sqlite3_bind_text(st, i, s->data(), static_cast<int>(s->size()), SQLITE_STATIC);
        } else if (const auto* n = std::get_if<std::int64_t>(&v)) {
            sqlite3_bind_int64(st, i, *n);
        } else {
            sqlite3_bind_double(st, i, std::get<double>(v));
        }
    }

    Connection& c_;
    std::lock_guard<std::mutex> lock_;
};

// One connection writes, one reads: in WAL mode a page being rendered does not hold
// up the reports arriving. A third only checkpoints.
class SqliteDatabase : public SqlDatabase {
  public:
    SqliteDatabase(const std::string& path, bool fsync) {
        // WAL with synchronous=NORMAL survives a kill at any point, FULL a power cut too but
        // slower. The lock wait first, for the statements that honour it (the switch to WAL
        // does not, and `Open` retries it).
        // No connection checkpoints by itself: that is the thread's work.
        // A new file gets 1 KiB pages: every commit copies its few changed pages whole into
        // the log, and at 4 KiB that copy cost about a fifth of the reports a second; the
        // page over 100,000 reports takes ~80 ms rather than ~70. An existing file keeps its own.
        const std::string quiet =
            "PRAGMA busy_timeout=" + std::to_string(kLockWaitMs) + "; PRAGMA wal_autocheckpoint=0;";
        const std::string setup = quiet + " PRAGMA synchronous=" + (fsync ? "FULL" : "NORMAL") +
                                  "; PRAGMA page_size=1024; PRAGMA journal_mode=WAL;";
        writer_.Open(path, setup.c_str());
        reader_.Open(path, quiet.c_str());
        checkpointer_.Open(path, setup.c_str());
        sqlite3_wal_hook(writer_.db, &SqliteDatabase::Committed, this);
        checkpoints_ = std::thread([this] { Checkpoints(); });
    }

    ~SqliteDatabase() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        checkpoints_.join();
    }

    std::unique_ptr<SqlSession> Session(bool write) override {
        return std::make_unique<class Session>(write ? writer_ : reader_);
    }

    const SqlDialect& Dialect() const override { return kSqlite; }

  private:
    static int Committed(void* self, sqlite3*, const char*, int frames) {
        if (frames >= kCheckpointFrames) {
            auto& me = *static_cast<SqliteDatabase*>(self);
            std::lock_guard lock(me.mutex_);
            me.due_ = true;
            me.wake_.notify_one();
        }
        return SQLITE_OK;
    }

    void Checkpoints() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return due_ || stopping_; });
            if (stopping_) return;
            due_ = false;
            lock.unlock();
            // The bulk beside the commits, then what they added meanwhile between two of
            // them: only a log copied whole is started afresh by the next commit. A
            // failure (a full disk) leaves the frames in the log, which keeps them safe;
            // a later pass tries again.
            sqlite3_wal_checkpoint_v2(checkpointer_.db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr,
                                      nullptr);
            {
                std::lock_guard between(writer_.mutex);
                sqlite3_wal_checkpoint_v2(checkpointer_.db, nullptr, SQLITE_CHECKPOINT_PASSIVE,
                                          nullptr, nullptr);
            }
            lock.lock();
        }
    }

    Connection writer_;
    Connection reader_;
    Connection checkpointer_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool due_ = false;
    bool stopping_ = false;
    std::thread checkpoints_;
};

}  // namespace

std::unique_ptr<SqlDatabase> OpenSqlite(const std::string& path, bool fsync) {
    return std::make_unique<SqliteDatabase>(path, fsync);
}

}  // namespace verlisk::receiver
