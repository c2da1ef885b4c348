#include "receiver/store.h"

#include <gtest/gtest.h>

#include "harness.h"
#include "receiver/sql.h"

// The same cases against both databases; PostgreSQL only in the live tests.
namespace verlisk::receiver {
namespace {

class StoreTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        db_ = testing::FreshDatabase(GetParam(), dir_);
        if (db_.empty()) GTEST_SKIP() << "PostgreSQL cases run in the live tests";
        store_ = OpenStore({db_});
    }

    testing::TempDir dir_;
    std::string db_;
    std::unique_ptr<ReportStore> store_;
};

StoredReport Flight(std::string aircraft, std::string client, double pph) {
    return {0,
            1764979200000,
            "127.0.0.1",
            {std::move(aircraft), pph, "2.0.27", 1, 2, std::move(client)}};
}

TEST_P(StoreTest, KeepsEveryFieldAndListsNewestFirst) {
    StoredReport a{0,
                   1764979200123,
                   "192.0.2.7",
                   {"Caravelle_é \"<&>\"", 1234.56789012345, "2.0.27", 2000000, 0, ""}};
    StoredReport b{
        0, 1764979201000, "::1", {"Sample_Aircraft", 0.1, "2.0.27", 1950, 336, "abcd2345"}};
    store_->Add(a);
    store_->Add(b);
    auto rows = store_->List({}, 0, 0, 10);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_GT(rows[0].id, rows[1].id);
    a.id = rows[1].id;
    b.id = rows[0].id;
    EXPECT_EQ(rows[0], b);
    EXPECT_EQ(rows[1], a);
}

struct FilterCase {
    Filter filter;
    std::vector<int> flights;  // positions in kFlights, newest first
    std::vector<AircraftSummary> summary;
};

TEST_P(StoreTest, FiltersCountsAndSummaries) {
    const std::vector<StoredReport> flights = {
        Flight("Boeing_737-800", "alpha", 5000), Flight("Boeing_737-800", "beta", 5400),
        Flight("Airbus_A320", "alpha", 4800), Flight("Cessna_172", "alpha2", 60),
        Flight("Boeing_747-400", "beta", 22000)};
    for (const auto& f : flights) store_->Add(f);
    const std::vector<FilterCase> cases = {
        {{},
         {4, 3, 2, 1, 0},
         {{"Boeing_737-800", 2, 5200},
          {"Airbus_A320", 1, 4800},
          {"Boeing_747-400", 1, 22000},
          {"Cessna_172", 1, 60}}},
        {{"alpha", ""}, {2, 0}, {{"Airbus_A320", 1, 4800}, {"Boeing_737-800", 1, 5000}}},
        {{"", "boeing"}, {4, 1, 0}, {{"Boeing_737-800", 2, 5200}, {"Boeing_747-400", 1, 22000}}},
        {{"beta", "737"}, {1}, {{"Boeing_737-800", 1, 5400}}},
        {{"gamma", ""}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter.clientId + "/" + c.filter.aircraft);
        const auto rows = store_->List(c.filter, 0, 0, 100);
        ASSERT_EQ(rows.size(), c.flights.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].report, flights[static_cast<std::size_t>(c.flights[i])].report);
        }
        EXPECT_EQ(store_->Count(c.filter), static_cast<std::int64_t>(c.flights.size()));
        EXPECT_EQ(store_->ByAircraft(c.filter), c.summary);
    }
    // Pages: by offset, and after a given id for the exports.
    const auto all = store_->List({}, 0, 0, 100);
    const auto page = store_->List({}, 0, 1, 2);
    ASSERT_EQ(page.size(), 2u);
    EXPECT_EQ(page[0].id, all[1].id);
    EXPECT_EQ(page[1].id, all[2].id);
    const auto older = store_->List({}, all[2].id, 0, 100);
    ASSERT_EQ(older.size(), 2u);
    EXPECT_EQ(older[0].id, all[3].id);
}

TEST_P(StoreTest, ReopensAndRefusesANewerSchema) {
    store_->Add(Flight("A", "b", 1));
    store_ = OpenStore({db_});
    EXPECT_EQ(store_->Count({}), 1);
    store_.reset();
    const auto sql = GetParam() ? OpenPostgres(db_) : OpenSqlite(db_, false);
    sql->Session(true)->Run("UPDATE receiver_schema SET version = 2");
    try {
        OpenStore({db_});
        FAIL() << "opened a database of a later schema";
    } catch (const StoreError& e) {
        EXPECT_STREQ(e.what(),
                     "the database has schema version 2, newer than this receiver's 1: run a newer "
                     "receiver");
    }
}

INSTANTIATE_TEST_SUITE_P(Sqlite, StoreTest, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(LivePostgres, StoreTest, ::testing::Values(true));

}  // namespace
}  // namespace verlisk::receiver
