#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "app/layout/controls.h"
#include "common/version.h"

// The main window as designed: every control with its place in twips, text, font,
// colours and state. The Win32 window is built from this table.
namespace verlisk::layout {

struct Color {
    enum Kind { Default, Rgb, System, Transparent };
    Kind kind = Default;
    std::uint32_t value = 0;  // Rgb: 0x00BBGGRR; System: a Win32 COLOR_ index
};

constexpr Color Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return {Color::Rgb, static_cast<std::uint32_t>(r | (g << 8) | (b << 16))};
}
constexpr Color Sys(std::uint32_t index) { return {Color::System, index}; }
// Win32 system colour indexes used by the design.
inline constexpr std::uint32_t kColorWindowText = 8;
inline constexpr std::uint32_t kColorActiveBorder = 10;
inline constexpr std::uint32_t kColorHighlight = 13;
inline constexpr std::uint32_t kColorHighlightText = 14;
inline constexpr std::uint32_t kColorBtnFace = 15;

enum class Kind { Label, TextBox, Button, Shape, StatusBar };
enum class Align { Left, Center, Right };

struct Font {
    const char* face;
    double points;
    bool bold;
};

inline constexpr Font kDefaultFont{"MS Sans Serif", 8.25, false};

struct ControlSpec {
    Control id;
    const char* name;
    Kind kind;
    const char* text;
    int left, top, width, height;  // twips
    int tabIndex;                  // -1: none
    Color fore;
    Color back;
    Font font;
    Align align;
    bool enabled;
    const char* tooltip;
};

struct PanelSpec {
    const char* text;
    int widthTwips;  // 0: the rest of the bar
};

inline constexpr const char* kCaption = " " VERLISK_NAME;
// The main window's class, by which the tests and tools find it.
inline constexpr wchar_t kWindowClass[] = L"" VERLISK_NAME "MainWindow";
inline constexpr int kClientWidthTwips = 5925;
inline constexpr int kClientHeightTwips = 3165;
inline constexpr Color kBackColor = Rgb(0, 128, 128);
inline constexpr int kPictureWidth = 400;  // pixels at 96 DPI
inline constexpr int kPictureHeight = 250;
inline constexpr int kTimerIntervalMs = 500;

std::span<const ControlSpec> Controls();
std::span<const PanelSpec> Panels();
const ControlSpec& Find(Control id);
// The same without throwing: nullptr for an id the design does not have.
const ControlSpec* Lookup(Control id);

// Controls that take the keyboard focus, in tab order; the first holds it at open.
std::span<const Control> FocusOrder();

// Twips at a DPI, rounded to the nearest pixel (15 twips a pixel at 96 DPI).
int TwipsToPixels(int twips, int dpi);

}  // namespace verlisk::layout
