#include "app/layout/layout.h"

#include <array>
#include <stdexcept>

namespace verlisk::layout {
namespace {

constexpr Color kNone{};
constexpr Font kBold825{"MS Sans Serif", 8.25, true};
constexpr Color kValueFore = Sys(kColorHighlightText);
constexpr Color kValueBack = Rgb(64, 64, 64);

// In back-to-front order: later rows lie on top of earlier ones.
constexpr std::array<ControlSpec, 16> kControls{{
    {Control::Shape1, "Shape1", Kind::Shape, "", 120, 840, 2655, 1695, -1, kNone, Rgb(0, 0, 64),
     kDefaultFont, Align::Left, true, nullptr},
    {Control::cmdStart, "cmdStart", Kind::Button, "START", 3120, 360, 2655, 375, 1, kNone, kNone,
     kBold825, Align::Center, true, nullptr},
    {Control::cmdStop, "cmdStop", Kind::Button, "STOP", 3000, 2160, 2655, 375, 3, kNone, kNone,
     kDefaultFont, Align::Center, false, nullptr},
    {Control::txtClientID, "txtClientID", Kind::TextBox, "USER_1E42A8F6", 120, 360, 2655, 375, 5,
     Rgb(0, 64, 0), kNone, Font{"MS Sans Serif", 12, true}, Align::Left, true,
     "(optional) Enter your own identifier for usage stats and online ranking."},
    {Control::Label3,
     "Label3",
     Kind::Label,
     "Client ID",
     120,
     120,
     855,
     375,
     6,
     Rgb(255, 255, 0),
     {Color::Transparent, 0},
     kBold825,
     Align::Left,
     true,
     nullptr},
    {Control::Label4, "Label4", Kind::Label, "Start weight", 240, 960, 1215, 255, 7, kValueFore,
     kValueBack, kDefaultFont, Align::Left, true, nullptr},
    {Control::lblStartWeight, "lblStartWeight", Kind::Label, "", 1440, 960, 1215, 255, 11,
     kValueFore, kValueBack, kDefaultFont, Align::Right, true, nullptr},
    {Control::Label5, "Label5", Kind::Label, "Stop Weight", 240, 1320, 1215, 255, 8, kValueFore,
     kValueBack, kDefaultFont, Align::Left, true, nullptr},
    {Control::lblStopWeight, "lblStopWeight", Kind::Label, "", 1440, 1320, 1215, 255, 12,
     kValueFore, kValueBack, kDefaultFont, Align::Right, true, nullptr},
    {Control::Label6, "Label6", Kind::Label, "Difference", 240, 1680, 1215, 255, 9, kValueFore,
     kValueBack, kDefaultFont, Align::Left, true, nullptr},
    {Control::lblDifference, "lblDifference", Kind::Label, "", 1440, 1680, 1215, 255, 13,
     kValueFore, kValueBack, kDefaultFont, Align::Right, true, nullptr},
    {Control::Label7, "Label7", Kind::Label, "Fuelage", 240, 2040, 1215, 255, 10, kValueFore,
     kValueBack, kDefaultFont, Align::Left, true, nullptr},
    {Control::lblFuelage, "lblFuelage", Kind::Label, "", 1440, 2040, 1215, 255, 14, kValueFore,
     kValueBack, kDefaultFont, Align::Right, true, nullptr},
    {Control::Label2, "Label2", Kind::Label, "00:00:00", 3120, 960, 2655, 735, 4, Rgb(255, 0, 0),
     Sys(kColorActiveBorder), Font{"Arial", 27.75, false}, Align::Center, true, nullptr},
    {Control::StatusBar1, "StatusBar1", Kind::StatusBar, "", 0, 2880, 5925, 285, 0, kNone, kNone,
     kDefaultFont, Align::Left, true, nullptr},
    {Control::Label1, "Label1", Kind::Label,
     "-------------------------------------------------------", 720, 4440, 2655, 615, 2,
     Sys(kColorBtnFace), Sys(kColorHighlight), kDefaultFont, Align::Left, true, nullptr},
}};

constexpr std::array<PanelSpec, 3> kPanels{{
    {"FSUIPC WAIT", 1440},
    {"STATUS WAIT", 1440},
    {VERLISK_NAME, 0},
}};

constexpr std::array<Control, 3> kFocusOrder{Control::cmdStart, Control::cmdStop,
                                             Control::txtClientID};

}  // namespace

std::span<const ControlSpec> Controls() { return kControls; }
std::span<const PanelSpec> Panels() { return kPanels; }
std::span<const Control> FocusOrder() { return kFocusOrder; }

const ControlSpec* Lookup(Control id) {
    for (const auto& c : kControls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

const ControlSpec& Find(Control id) {
    if (const ControlSpec* c = Lookup(id)) return *c;
    throw std::out_of_range("no such control");
}

int TwipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

}  // namespace verlisk::layout
