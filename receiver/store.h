#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "receiver/report.h"

namespace verlisk::receiver {

// A report as stored: when it arrived (milliseconds since 1970, UTC) and from where.
struct StoredReport {
    std::int64_t id = 0;  // given by the store, rising in the order of arrival
    std::int64_t receivedMs = 0;
    std::string sender;
    Report report;

    friend bool operator==(const StoredReport&, const StoredReport&) = default;
};

// Which reports to look at; an empty field does not filter.
struct Filter {
    std::string clientId;      // exactly this identifier
    std::string aircraft;      // titles holding this text, letters in either case
    bool emptyClient = false;  // only reports without one (clientId left empty)
    std::optional<std::int64_t> fromMs = std::nullopt;   // received at or after
    std::optional<std::int64_t> untilMs = std::nullopt;  // received before
};

// A filter's range is whole UTC days: untilMs is the start of the day after its last.
inline constexpr std::int64_t kDayMs = 86400000;

// What Add did with a report: stored it as `id`, or took it for the same flight sent again
// (see kRepeatWindowMs) and counted its arrival on report `id`, `repeats` times so far.
struct Added {
    std::int64_t id = 0;
    std::int64_t repeats = 0;  // 0 for a report stored

    friend bool operator==(const Added&, const Added&) = default;
};

// A report with the same non-empty client identifier, aircraft title, zero-fuel weight and
// tank capacity as one stored less than this before it is that flight sent again: the
// program gives up waiting after 30 s and lets the pilot send it again, while a new flight
// needs START, at least 15 minutes and STOP.
inline constexpr std::int64_t kRepeatWindowMs = 10 * 60 * 1000;

struct AircraftSummary {
    std::string aircraft;
    std::int64_t flights = 0;
    double meanPph = 0;
    double medianPph = 0;  // of an even number of flights, the mean of the middle two

    friend bool operator==(const AircraftSummary&, const AircraftSummary&) = default;
};

// Thrown when the database cannot do what was asked (unreachable, read-only, full);
// the text is for the operator's log.
struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// The database cannot be reached at all (PostgreSQL down, the SQLite file's folder not
// there): worth trying again later.
struct StoreUnreachable : StoreError {
    using StoreError::StoreError;
};

// Where reports are kept. Every call may come from any thread.
class ReportStore {
  public:
    virtual ~ReportStore() = default;
    // Returns only once the report (or its repeat count) is committed.
    virtual Added Add(const StoredReport& r) = 0;
    // Newest first: those with an id below `beforeId` (0: no bound), skipping `offset`.
    virtual std::vector<StoredReport> List(const Filter& f, std::int64_t beforeId,
                                           std::int64_t offset, int limit) = 0;
    virtual std::int64_t Count(const Filter& f) = 0;
    // The highest median first, then by name.
    virtual std::vector<AircraftSummary> ByAircraft(const Filter& f) = 0;
    // Takes a report off the page, the chart and the exports, kept aside with the reason so
    // that Restore brings it back; false when no such report is shown (or set aside).
    virtual bool Remove(std::int64_t id, const std::string& reason, std::int64_t nowMs) = 0;
    virtual bool Restore(std::int64_t id) = 0;
};

struct StoreOptions {
    std::string db;      // a file name for SQLite, or a postgresql:// (postgres://) URL
    bool fsync = false;  // SQLite: flush every commit to the disk, not only to the OS
};

// Opens the database and brings its schema up to date.
std::unique_ptr<ReportStore> OpenStore(const StoreOptions& options);

// The same, for a service that must not wait for its database: while the database cannot
// be reached (at the start too), calls throw StoreError at once, and it is tried again in
// the background with a growing pause. `log` is told each change, not each attempt. Other
// failures to open, such as a newer schema, are thrown.
std::unique_ptr<ReportStore> OpenStoreWhenReachable(const StoreOptions& options,
                                                    std::function<void(const std::string&)> log);

bool IsPostgresUrl(const std::string& db);

}  // namespace verlisk::receiver
