#pragma once

#include <windows.h>

#include <map>
#include <vector>

#include "app/form_view.h"
#include "common/ports.h"

namespace verlisk {
class FrmStart;
}

namespace verlisk::win32 {

// The main window built from the layout table, per-monitor DPI aware. It shows
// what the program sets and routes clicks, timer ticks and the HTTP client's state
// changes (kInetMessage: wParam the generation, lParam the state) to the FrmStart
// handlers.
inline constexpr UINT kInetMessage = WM_APP + 1;

class MainWindow : public FormView {
  public:
    explicit MainWindow(HINSTANCE instance);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window hidden, with its controls and both timers running.
    bool Create(FrmStart& handlers);
    // Shows it, centred, with the focus on START.
    void Show();
    // The message loop; returns when the window is gone.
    int Run();
    HWND hwnd() const { return hwnd_; }

    void SetText(Control c, const std::string& text) override;
    std::string GetText(Control c) override;
    void SetEnabled(Control c, bool enabled) override;
    void SetForeColor(Control c, layout::Color color) override;
    void SetPanelText(int panel, const std::string& text) override;
    void SetTimerEnabled(Timer t, bool enabled) override;
    MsgResult ShowMessage(const std::string& text, const std::string& title, MsgButtons buttons,
                          MsgIcon icon, bool yesIsDefault) override;
    void DoEvents() override;
    void WaitForEvents(std::uint32_t maxMs) override;
    void Unload() override;

  private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void CreateControls();
    void ApplyDpi(UINT dpi);
    void BuildBackground();
    void FreeBackground();
    void FreeDpiResources();
    HBRUSH ColorStatic(HDC dc, HWND child);
    COLORREF ForeColor(const layout::ControlSpec& design) const;
    void DrawClock(const DRAWITEMSTRUCT& item);
    HWND Child(Control c) const;
    void EndIfGone();
    void PlaceFocus();

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    HWND tooltip_ = nullptr;
    FrmStart* handlers_ = nullptr;
    UINT dpi_ = 96;
    bool destroyed_ = false;
    std::map<Control, HWND> children_;
    std::vector<HFONT> fonts_;
    std::map<COLORREF, HBRUSH> solidBrushes_;
    std::map<Control, layout::Color> foreColors_;  // set at run time, over the design's
    HBITMAP background_ = nullptr;
    HBRUSH backgroundBrush_ = nullptr;
    HICON iconBig_ = nullptr;
    HICON iconSmall_ = nullptr;
};

}  // namespace verlisk::win32
