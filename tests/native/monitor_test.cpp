#include <gtest/gtest.h>

#include "fakes.h"
#include "simlink/ipc_protocol.h"

namespace verlisk {
namespace {

using namespace ipc;
using testing::ProcessEnded;

struct PositionCase {
    std::int32_t lat, lon;
    double latitude, longitude;
    const char* refusal;  // the box that ends the program, if any
};

class Positions : public testing::FrmFixture, public ::testing::WithParamInterface<PositionCase> {};

TEST_P(Positions, KeptOrRefused) {
    const auto& c = GetParam();
    module.aircraft.Poke32(offset::kLatitude, static_cast<std::uint32_t>(c.lat));
    module.aircraft.Poke32(offset::kLongitude, static_cast<std::uint32_t>(c.lon));
    if (!c.refusal) {
        frm.Timer_Radar_Timer();
        EXPECT_EQ(frm.Latitude, c.latitude);
        EXPECT_EQ(frm.Longitude, c.longitude);
        EXPECT_TRUE(view.boxes.empty());
        return;
    }
    // Ticks and samples while the box is open start nothing.
    view.onBox = [&] {
        frm.Timer_Radar_Timer();
        frm.Radar();
    };
    EXPECT_THROW(frm.Timer_Radar_Timer(), ProcessEnded);
    EXPECT_EQ(view.boxes,
              std::vector<testing::Box>({{c.refusal, "", MsgButtons::Ok, MsgIcon::None, false}}));
    EXPECT_EQ(module.aircraft.Messages(), (std::vector<std::string>{"text:", "display:10"}));
    EXPECT_EQ(Log(), "");  // only a longitude is logged
}

INSTANTIATE_TEST_SUITE_P(
    Raw, Positions,
    ::testing::Values(
        PositionCase{10001750, 0, 90, 0, nullptr}, PositionCase{-10001755, 0, -90, 0, nullptr},
        PositionCase{5000875, INT32_MIN, 45, -180, nullptr},
        PositionCase{1, INT32_MAX, 0, 180, nullptr}, PositionCase{-1, 1000000, 0, 0.0838, nullptr},
        PositionCase{10001756, 0, 0, 0, "Regional Settings Error.  lat: 90.0001"},
        PositionCase{-10001756, 0, 0, 0, "Regional Settings Error.  lat: -90.0001"},
        // far past 32 bits once multiplied by 90: still refused, in order
        PositionCase{INT32_MAX, 0, 0, 0, "Regional Settings Error.  lat: 19323.9711"}));

using Sampling = testing::FrmFixture;

TEST_F(Sampling, TitleUpToTheFirstZeroSpacesToUnderscores) {
    struct Case {
        std::string bytes, title;
    };
    for (auto c :
         {Case{std::string("\0abc", 4), ""}, Case{std::string(256, 'A'), std::string(256, 'A')},
          Case{"Cessna 172 Skyhawk \xE9t\xE9", "Cessna_172_Skyhawk_\xE9t\xE9"},
          Case{" a  ", "_a__"}}) {
        c.bytes.resize(kTitleSize, '\0');
        module.aircraft.Poke(offset::kTitle, c.bytes.data(), c.bytes.size());
        frm.Timer_Radar_Timer();
        EXPECT_EQ(frm.AircraftTitle, c.title);
    }
}

struct TankCase {
    std::int32_t zfwRaw;
    std::array<std::int32_t, 9> gallons;
    std::int32_t zeroFuelWeight, maxTankWeight;
};

class Tanks : public testing::FrmFixture, public ::testing::WithParamInterface<TankCase> {};

TEST_P(Tanks, PoundsAndWhetherTheyAreReadAgain) {
    module.aircraft.Poke32(offset::kZeroFuelWeight, static_cast<std::uint32_t>(GetParam().zfwRaw));
    for (std::size_t t = 0; t < 9; ++t) {
        module.aircraft.Poke32(offset::kTanks[t],
                               static_cast<std::uint32_t>(GetParam().gallons[t]));
    }
    frm.Timer_Radar_Timer();
    EXPECT_EQ(frm.ZeroFuelWeight, GetParam().zeroFuelWeight);
    EXPECT_EQ(frm.MaxTankWeight, GetParam().maxTankWeight);
    const int sends = module.sendsThatArrived;
    frm.Timer_Radar_Timer();
    // handshake and four sample reads, then ten more while the weight is still 0
    EXPECT_EQ(module.sendsThatArrived - sends, GetParam().zeroFuelWeight == 0 ? 15 : 5);
}

INSTANTIATE_TEST_SUITE_P(
    Raw, Tanks,
    ::testing::Values(TankCase{384, {0, 5000, 0, 0, 5000, 0, 0, 0, 0}, 2, 67000},
                      TankCase{256, {5, 15, 0, 0, 0, 0, 0, 0, 0}, 1, 134}));  // 33.5, 100.5: even

TEST_F(Sampling, ModuleGoneKeepsTheValuesAndThePanelShowsNoVersion) {
    frm.Timer_PhaseControl_Timer();
    EXPECT_EQ(view.panels[1], "NO FSUIPC");
    frm.Timer_Radar_Timer();
    frm.Timer_PhaseControl_Timer();
    EXPECT_EQ(view.panels[1], "FSUIPC 3.400");
    module.windowClass = "";
    frm.Timer_Radar_Timer();
    frm.Timer_PhaseControl_Timer();
    EXPECT_EQ(view.panels[1], "FSUIPC 0.000");
    EXPECT_FALSE(frm.LinkOpen);
    EXPECT_EQ(frm.GrossWeight, 2286.7);
    EXPECT_FALSE(view.texts.count(Control::Label2));  // no session: nothing else shown
}

struct DisplayCase {
    std::int64_t seconds;
    double start, gross;
    const char* clock;
    bool red;
    std::array<const char*, 4> labels;  // start, current, difference, per hour
};

class Display : public testing::FrmFixture, public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(Display, ClockColourAndFigures) {
    const auto& c = GetParam();
    frm.Phase = 1;
    frm.StartTime = WholeSeconds(clock.now);
    frm.StartWeight = c.start;
    frm.GrossWeight = c.gross;
    clock.Advance(c.seconds);
    frm.Timer_PhaseControl_Timer();
    EXPECT_EQ(view.texts[Control::Label2], c.clock);
    const auto color = view.colors[Control::Label2];
    EXPECT_EQ(color.kind, c.red ? layout::Color::Rgb : layout::Color::System);
    EXPECT_EQ(color.value, c.red ? 0x0000FFu : 8u);
    const Control labels[] = {Control::lblStartWeight, Control::lblStopWeight,
                              Control::lblDifference, Control::lblFuelage};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(view.texts[labels[i]], c.labels[i]) << i;
    EXPECT_EQ(frm.FlightHours, c.seconds < 0 ? 0.0 : static_cast<double>(c.seconds) / 3600.0);
}

INSTANTIATE_TEST_SUITE_P(
    Seconds, Display,
    ::testing::Values(
        DisplayCase{900, 41000, 40990, "00:15:00", false, {"41000", "40990", "10", "40"}},
        DisplayCase{
            1800, 41000, 40500.26, "00:30:00", false, {"41000", "40500.3", "499.7", "999.5"}},
        DisplayCase{360000, 0, 0, "100:00:00", false, {"0", "0", "0", "0"}},
        DisplayCase{-5, 41000, 40000, "00:00:00", true, {"41000", "40000", "1000", "0"}}));

}  // namespace
}  // namespace verlisk
