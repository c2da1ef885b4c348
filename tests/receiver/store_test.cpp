#include "receiver/store.h"

#include "harness.h"

// The same cases against both databases; PostgreSQL only in the live tests.
namespace verlisk::receiver::testing {
namespace {

using StoreTest = EachDatabase;

StoredReport Flight(std::string aircraft, std::string client, double pph, std::int64_t ms = 7) {
    return {
        0, ms, "192.0.2.7", {std::move(aircraft), pph, "2.0.27", 1950, 2000000, std::move(client)}};
}

TEST_P(StoreTest, KeepsEveryFieldAndFiltersCountsAndSums) {
    const auto store = OpenStore({db_});
    const std::vector<StoredReport> flights = {
        Flight("Boeing_737-800", "alpha", 5000), Flight("Boeing_737-800", "beta", 5400),
        Flight("Airbus_A320", "alpha", 4800), Flight("Caravelle_é \"<&>\"", "", 1234.56789012345),
        Flight("Boeing_747-400", "beta", 0.1, 1764979200123)};
    for (const auto& f : flights) store->Add(f);
    struct Case {
        Filter filter;
        std::vector<std::size_t> flights;  // newest first
        std::vector<AircraftSummary> summary;
    };
    const std::vector<Case> cases = {
        {{},
         {4, 3, 2, 1, 0},
         {{"Boeing_737-800", 2, 5200},
          {"Airbus_A320", 1, 4800},
          {"Boeing_747-400", 1, 0.1},
          {"Caravelle_é \"<&>\"", 1, 1234.56789012345}}},
        {{"alpha", ""}, {2, 0}, {{"Airbus_A320", 1, 4800}, {"Boeing_737-800", 1, 5000}}},
        {{"", "boeing"}, {4, 1, 0}, {{"Boeing_737-800", 2, 5200}, {"Boeing_747-400", 1, 0.1}}},
        {{"beta", "737"}, {1}, {{"Boeing_737-800", 1, 5400}}},
        {{"alph", ""}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter.clientId + "/" + c.filter.aircraft);
        const auto rows = store->List(c.filter, 0, 0, 100);
        ASSERT_EQ(rows.size(), c.flights.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            auto expected = flights[c.flights[i]];
            expected.id = rows[i].id;
            EXPECT_EQ(rows[i], expected);
            EXPECT_LT(rows[i].id, i ? rows[i - 1].id : INT64_MAX);
        }
        EXPECT_EQ(store->Count(c.filter), static_cast<std::int64_t>(c.flights.size()));
        EXPECT_EQ(store->ByAircraft(c.filter), c.summary);
    }
}

TEST_P(StoreTest, OpensTogetherReopensAndRefusesANewerSchema) {
    // Receivers started at once on an empty database: one makes the schema, the others use it.
    std::vector<std::thread> starts;
    for (int i = 0; i < 8; ++i) starts.emplace_back([&] { EXPECT_NO_THROW(OpenStore({db_})); });
    for (auto& t : starts) t.join();
    OpenStore({db_})->Add(Flight("A", "b", 1));
    EXPECT_EQ(OpenStore({db_})->Count({}), 1);
    (GetParam() ? OpenPostgres(db_) : OpenSqlite(db_, false))
        ->Session(true)
        ->Run("UPDATE receiver_schema SET version = 2");
    EXPECT_THAT([&] { OpenStore({db_}); },
                ::testing::ThrowsMessage<StoreError>(
                    "the database has schema version 2, newer than this receiver's 1: run a "
                    "newer receiver"));
}

TEST(SqliteStoreTest, CopiesTheLogIntoTheDatabaseFileWhileOpen) {
    TempDir dir;
    const auto db = dir.path + "/reports.sqlite";
    const auto store = OpenStore({db});
    const auto before = std::filesystem::file_size(db);
    for (int i = 0; i < 1000; ++i) store->Add(Flight("Boeing_737-800", "alpha", i));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::filesystem::file_size(db) == before && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GT(std::filesystem::file_size(db), before);
}

INSTANTIATE_TEST_SUITE_P(Sqlite, StoreTest, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(LivePostgres, StoreTest, ::testing::Values(true));

}  // namespace
}  // namespace verlisk::receiver::testing
