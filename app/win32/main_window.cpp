#include "app/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

#include "app/frm_start.h"
#include "app/layout/layout.h"
#include "app/layout/resource_ids.h"
#include "app/win32/picture.h"
#include "common/version.h"
#include "common/win32/win32_text.h"

namespace verlisk::win32 {

namespace L = layout;

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;

int Px(int twips, UINT dpi) { return L::TwipsToPixels(twips, static_cast<int>(dpi)); }

COLORREF ToColorRef(const L::Color& c) {
    return c.kind == L::Color::System ? GetSysColor(static_cast<int>(c.value))
                                      : static_cast<COLORREF>(c.value);
}

// The design's "MS Sans Serif" is a bitmap font that does not scale; its TrueType
// successor looks the same at 96 DPI and stays sharp at any other.
const wchar_t* FaceFor(const char* face) {
    return std::string_view(face) == "Arial" ? L"Arial" : L"Microsoft Sans Serif";
}

HFONT MakeFont(const L::Font& f, UINT dpi) {
    const int height = -static_cast<int>(std::lround(f.points * dpi / 72.0));
    return CreateFontW(height, 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, FaceFor(f.face));
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance) : instance_(instance) {}

MainWindow::~MainWindow() {
    if (hwnd_ && !destroyed_) DestroyWindow(hwnd_);
    FreeDpiResources();
    if (iconBig_) DestroyIcon(iconBig_);
    if (iconSmall_) DestroyIcon(iconSmall_);
}

bool MainWindow::Create(FrmStart& handlers) {
    handlers_ = &handlers;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(IDI_VERLISK));
    wc.lpszClassName = L::kWindowClass;
    RegisterClassExW(&wc);
    hwnd_ =
        CreateWindowExW(kExStyle, L::kWindowClass, Widen(L::kCaption).c_str(), kStyle,
                        CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance_, this);
    if (!hwnd_) return false;
    dpi_ = GetDpiForWindow(hwnd_);
    CreateControls();
    ApplyDpi(dpi_);

    // Centre on the monitor's work area.
    RECT wr;
    GetWindowRect(hwnd_, &wr);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &mi);
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    const RECT& work = mi.rcWork;
    SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - w) / 2,
                 work.top + (work.bottom - work.top - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    SetTimer(hwnd_, static_cast<UINT_PTR>(Timer::Timer_Radar), L::kTimerIntervalMs, nullptr);
    SetTimer(hwnd_, static_cast<UINT_PTR>(Timer::Timer_PhaseControl), L::kTimerIntervalMs, nullptr);
    return true;
}

void MainWindow::CreateControls() {
    // Creation order is the tab order, so controls are made in tab-index order.
    std::vector<const L::ControlSpec*> order;
    for (const auto& c : L::Controls()) order.push_back(&c);
    std::stable_sort(order.begin(), order.end(), [](auto* a, auto* b) {
        return (a->tabIndex < 0 ? 1000 : a->tabIndex) < (b->tabIndex < 0 ? 1000 : b->tabIndex);
    });
    for (const auto* c : order) {
        const wchar_t* cls = nullptr;
        DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
        DWORD ex = 0;
        switch (c->kind) {
            case L::Kind::Shape:
                continue;  // painted as part of the background
            case L::Kind::Label:
                cls = L"STATIC";
                style |= SS_NOPREFIX | (c->align == L::Align::Center  ? SS_CENTER
                                        : c->align == L::Align::Right ? SS_RIGHT
                                                                      : SS_LEFT);
                // The running clock is redrawn twice a second in a large font: it is
                // painted off-screen and copied in one go, so it never flickers.
                if (c->id == Control::Label2) style = (style & ~SS_CENTER) | SS_OWNERDRAW;
                break;
            case L::Kind::TextBox:
                cls = L"EDIT";  // no length limit: lifted below
                style |= WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT;
                ex = WS_EX_CLIENTEDGE;
                break;
            case L::Kind::Button:
                cls = L"BUTTON";
                style |= WS_TABSTOP | BS_PUSHBUTTON;
                break;
            case L::Kind::StatusBar:
                cls = STATUSCLASSNAMEW;
                style |= CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
                break;
        }
        if (!c->enabled) style |= WS_DISABLED;
        HWND h = CreateWindowExW(ex, cls, Widen(c->text).c_str(), style, 0, 0, 10, 10, hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(c->id)), instance_,
                                 nullptr);
        children_[c->id] = h;
        if (c->kind == L::Kind::TextBox) SendMessageW(h, EM_SETLIMITTEXT, 0, 0);
        // Labels lie beneath every other control, as windowless labels do.
        if (c->kind == L::Kind::Label) {
            SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        if (c->kind == L::Kind::StatusBar) {
            SendMessageW(h, SB_SIMPLE, FALSE, 0);
        }
        if (c->tooltip) {
            tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                       WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                       CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                       instance_, nullptr);
            std::wstring tip = Widen(c->tooltip);
            TOOLINFOW ti{};
            ti.cbSize = sizeof ti;
            ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            ti.hwnd = hwnd_;
            ti.uId = reinterpret_cast<UINT_PTR>(h);
            ti.lpszText = tip.data();
            SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
        }
    }
    const auto panels = L::Panels();
    for (std::size_t i = 0; i < panels.size(); ++i) {
        SetPanelText(static_cast<int>(i + 1), panels[i].text);
    }
}

void MainWindow::FreeDpiResources() {
    for (HFONT f : fonts_) DeleteObject(f);
    fonts_.clear();
    for (auto& [color, brush] : solidBrushes_) DeleteObject(brush);
    solidBrushes_.clear();
    FreeBackground();
}

void MainWindow::FreeBackground() {
    if (backgroundBrush_) DeleteObject(backgroundBrush_);
    backgroundBrush_ = nullptr;
    if (background_) DeleteObject(background_);
    background_ = nullptr;
}

void MainWindow::ApplyDpi(UINT dpi) {
    dpi_ = dpi;
    // Fonts are replaced after the controls have been given the new ones.
    std::vector<HFONT> old;
    old.swap(fonts_);

    RECT r{0, 0, Px(L::kClientWidthTwips, dpi), Px(L::kClientHeightTwips, dpi)};
    AdjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, dpi);
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    for (const auto& c : L::Controls()) {
        HWND h = Child(c.id);
        if (!h) continue;
        HFONT font = MakeFont(c.font, dpi);
        fonts_.push_back(font);
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SetWindowPos(h, nullptr, Px(c.left, dpi), Px(c.top, dpi), Px(c.width, dpi),
                     Px(c.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
        if (c.kind == L::Kind::StatusBar) {
            std::vector<int> edges;
            int right = 0;
            for (const auto& p : L::Panels()) {
                right += p.widthTwips;
                edges.push_back(p.widthTwips == 0 ? -1 : Px(right, dpi));
            }
            SendMessageW(h, SB_SETMINHEIGHT, static_cast<WPARAM>(Px(c.height, dpi)), 0);
            SendMessageW(h, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
        }
    }
    for (HFONT f : old) DeleteObject(f);
    if (tooltip_) SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.front()), 0);

    if (iconBig_) DestroyIcon(iconBig_);
    if (iconSmall_) DestroyIcon(iconSmall_);
    auto icon = [&](int metric) {
        const int size = GetSystemMetricsForDpi(metric, dpi);
        return static_cast<HICON>(
            LoadImageW(instance_, MAKEINTRESOURCEW(IDI_VERLISK), IMAGE_ICON, size, size, 0));
    };
    iconBig_ = icon(SM_CXICON);
    iconSmall_ = icon(SM_CXSMICON);
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(iconBig_));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(iconSmall_));

    BuildBackground();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

// The teal ground, the picture at its natural size from the top-left corner, and
// the dark-blue panel, composed once per DPI into one bitmap.
void MainWindow::BuildBackground() {
    FreeBackground();
    const int w = Px(L::kClientWidthTwips, dpi_), h = Px(L::kClientHeightTwips, dpi_);
    HDC screen = GetDC(hwnd_);
    background_ = CreateCompatibleBitmap(screen, w, h);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ oldBmp = SelectObject(dc, background_);
    RECT all{0, 0, w, h};
    HBRUSH teal = CreateSolidBrush(ToColorRef(L::kBackColor));
    FillRect(dc, &all, teal);
    DeleteObject(teal);

    const int pw = MulDiv(L::kPictureWidth, static_cast<int>(dpi_), 96);
    const int ph = MulDiv(L::kPictureHeight, static_cast<int>(dpi_), 96);
    if (HBITMAP picture = LoadJpegResource(instance_, IDR_BACKGROUND, pw, ph)) {
        HDC src = CreateCompatibleDC(screen);
        HGDIOBJ oldSrc = SelectObject(src, picture);
        BitBlt(dc, 0, 0, pw, ph, src, 0, 0, SRCCOPY);
        SelectObject(src, oldSrc);
        DeleteDC(src);
        DeleteObject(picture);
    }
    const auto& shape = L::Find(Control::Shape1);
    RECT sr{Px(shape.left, dpi_), Px(shape.top, dpi_), Px(shape.left + shape.width, dpi_),
            Px(shape.top + shape.height, dpi_)};
    HBRUSH fill = CreateSolidBrush(ToColorRef(shape.back));
    FillRect(dc, &sr, fill);
    DeleteObject(fill);

    SelectObject(dc, oldBmp);
    DeleteDC(dc);
    ReleaseDC(hwnd_, screen);
    backgroundBrush_ = CreatePatternBrush(background_);
}

void MainWindow::Show() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    SetFocus(Child(Control::cmdStart));
}

int MainWindow::Run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!destroyed_ && IsDialogMessageW(hwnd_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

HWND MainWindow::Child(Control c) const {
    auto it = children_.find(c);
    return it == children_.end() ? nullptr : it->second;
}

void MainWindow::SetText(Control c, const std::string& text) {
    // The timers rewrite the same captions every tick: only a change is repainted.
    if (HWND h = Child(c); h && GetText(c) != text) SetWindowTextW(h, Widen(text).c_str());
}

std::string MainWindow::GetText(Control c) {
    HWND h = Child(c);
    if (!h) return {};
    std::wstring buf(static_cast<std::size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
    const int n = GetWindowTextW(h, buf.data(), static_cast<int>(buf.size()));
    buf.resize(static_cast<std::size_t>(std::max(n, 0)));
    return Narrow(buf);
}

void MainWindow::SetEnabled(Control c, bool enabled) {
    if (HWND h = Child(c)) EnableWindow(h, enabled);
}

// A button greyed by its own click drops the keyboard focus; once the handler has
// set both buttons, the focus goes to the first control that can take it (START,
// STOP, the identifier), so that the keyboard always reaches the next step.
void MainWindow::PlaceFocus() {
    HWND focus = GetFocus();
    if (focus && focus != hwnd_ && IsWindowEnabled(focus)) return;
    for (Control c : L::FocusOrder()) {
        if (HWND h = Child(c); h && IsWindowEnabled(h)) {
            SetFocus(h);
            return;
        }
    }
}

void MainWindow::SetForeColor(Control c, layout::Color color) {
    const auto it = foreColors_.find(c);
    if (it != foreColors_.end() && it->second.kind == color.kind &&
        it->second.value == color.value) {
        return;
    }
    foreColors_[c] = color;
    if (HWND h = Child(c)) InvalidateRect(h, nullptr, FALSE);
}

void MainWindow::SetPanelText(int panel, const std::string& text) {
    if (HWND h = Child(Control::StatusBar1)) {
        std::wstring w = Widen(text);
        SendMessageW(h, SB_SETTEXTW, static_cast<WPARAM>(panel - 1),
                     reinterpret_cast<LPARAM>(w.c_str()));
    }
}

void MainWindow::SetTimerEnabled(Timer t, bool enabled) {
    if (destroyed_) return;
    if (enabled) {
        SetTimer(hwnd_, static_cast<UINT_PTR>(t), L::kTimerIntervalMs, nullptr);
    } else {
        KillTimer(hwnd_, static_cast<UINT_PTR>(t));
    }
}

MsgResult MainWindow::ShowMessage(const std::string& text, const std::string& title,
                                  MsgButtons buttons, MsgIcon icon, bool yesIsDefault) {
    UINT flags = buttons == MsgButtons::YesNo ? MB_YESNO : MB_OK;
    if (icon == MsgIcon::Critical) flags |= MB_ICONSTOP;
    if (buttons == MsgButtons::YesNo && !yesIsDefault) flags |= MB_DEFBUTTON2;
    const int r = MessageBoxW(destroyed_ ? nullptr : hwnd_, Widen(text).c_str(),
                              Widen(title.empty() ? VERLISK_NAME : title).c_str(), flags);
    EndIfGone();
    switch (r) {
        case IDYES:
            return MsgResult::Yes;
        case IDNO:
            return MsgResult::No;
        case IDOK:
            return MsgResult::Ok;
        default:
            return MsgResult::Cancel;
    }
}

void MainWindow::DoEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!destroyed_ && IsDialogMessageW(hwnd_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    EndIfGone();
}

void MainWindow::WaitForEvents(std::uint32_t maxMs) {
    MsgWaitForMultipleObjectsEx(0, nullptr, maxMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

// A handler that waited (a message box, the upload) while the window was closed
// must not go on with a window that no longer exists: the process ends cleanly.
void MainWindow::EndIfGone() {
    if (destroyed_) ExitProcess(0);
}

void MainWindow::Unload() {
    if (hwnd_ && !destroyed_) DestroyWindow(hwnd_);
}

COLORREF MainWindow::ForeColor(const L::ControlSpec& design) const {
    const auto it = foreColors_.find(design.id);
    return ToColorRef(it != foreColors_.end() ? it->second : design.fore);
}

void MainWindow::DrawClock(const DRAWITEMSTRUCT& item) {
    const auto& design = L::Find(Control::Label2);
    const int w = item.rcItem.right - item.rcItem.left, h = item.rcItem.bottom - item.rcItem.top;
    HDC dc = CreateCompatibleDC(item.hDC);
    HBITMAP bitmap = CreateCompatibleBitmap(item.hDC, w, h);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
    RECT all{0, 0, w, h};
    FillRect(dc, &all, GetSysColorBrush(static_cast<int>(design.back.value)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ForeColor(design));
    const std::wstring text = Widen(GetText(Control::Label2));
    DrawTextW(dc, text.c_str(), -1, &all, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, w, h, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

HBRUSH MainWindow::ColorStatic(HDC dc, HWND child) {
    const L::ControlSpec* design = L::Lookup(static_cast<Control>(GetDlgCtrlID(child)));
    if (!design) return nullptr;
    if (design->fore.kind != L::Color::Default) SetTextColor(dc, ForeColor(*design));
    switch (design->back.kind) {
        case L::Color::Transparent: {
            // Paint the label with the window's own background, aligned to it.
            SetBkMode(dc, TRANSPARENT);
            POINT origin{0, 0};
            MapWindowPoints(child, hwnd_, &origin, 1);
            SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
            return backgroundBrush_;
        }
        case L::Color::System:
            SetBkColor(dc, ToColorRef(design->back));
            return GetSysColorBrush(static_cast<int>(design->back.value));
        case L::Color::Rgb: {
            const COLORREF color = ToColorRef(design->back);
            SetBkColor(dc, color);
            auto& brush = solidBrushes_[color];
            if (!brush) brush = CreateSolidBrush(color);
            return brush;
        }
        case L::Color::Default:
            break;
    }
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return GetSysColorBrush(COLOR_WINDOW);
}

LRESULT CALLBACK MainWindow::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    }
    return self ? self->Handle(msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT MainWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_ERASEBKGND: {
            if (!background_) break;
            HDC dc = reinterpret_cast<HDC>(wp);
            HDC src = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(src, background_);
            RECT r;
            GetClientRect(hwnd_, &r);
            BitBlt(dc, 0, 0, r.right, r.bottom, src, 0, 0, SRCCOPY);
            SelectObject(src, old);
            DeleteDC(src);
            return 1;
        }
        case WM_DRAWITEM:
            if (wp == static_cast<WPARAM>(Control::Label2)) {
                DrawClock(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
                return TRUE;
            }
            break;
        case WM_CTLCOLORSTATIC:
            if (HBRUSH b = ColorStatic(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp))) {
                return reinterpret_cast<LRESULT>(b);
            }
            break;
        case WM_CTLCOLOREDIT:
            if (reinterpret_cast<HWND>(lp) == Child(Control::txtClientID)) {
                HDC dc = reinterpret_cast<HDC>(wp);
                SetTextColor(dc, ToColorRef(L::Find(Control::txtClientID).fore));
                SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            break;
        case WM_SYSCOLORCHANGE:
            BuildBackground();
            InvalidateRect(hwnd_, nullptr, TRUE);
            break;
        case WM_DPICHANGED: {
            ApplyDpi(HIWORD(wp));
            const auto* suggested = reinterpret_cast<const RECT*>(lp);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_COMMAND: {
            // Clicks, the space bar and Enter on a focused button all arrive as BN_CLICKED;
            // a greyed button is never acted on, whoever sent the message.
            const auto id = static_cast<Control>(LOWORD(wp));
            HWND button = Child(id);
            if (!handlers_ || HIWORD(wp) != BN_CLICKED || !button || !IsWindowEnabled(button)) {
                break;
            }
            if (id == Control::cmdStart) handlers_->cmdStart_Click();
            if (id == Control::cmdStop) handlers_->cmdStop_Click();
            PlaceFocus();
            return 0;
        }
        case DM_GETDEFID: {
            // Enter presses the button that has the focus; elsewhere it does nothing.
            HWND focus = GetFocus();
            for (Control c : {Control::cmdStart, Control::cmdStop}) {
                if (focus && focus == Child(c))
                    return MAKELRESULT(static_cast<int>(c), DC_HASDEFID);
            }
            return 0;
        }
        case kInetMessage:
            if (handlers_) {
                handlers_->OnInetState(static_cast<std::uint32_t>(wp),
                                       static_cast<std::int16_t>(lp));
            }
            return 0;
        case WM_TIMER:
            if (!handlers_) break;
            if (wp == static_cast<WPARAM>(Timer::Timer_Radar)) handlers_->Timer_Radar_Timer();
            if (wp == static_cast<WPARAM>(Timer::Timer_PhaseControl)) {
                handlers_->Timer_PhaseControl_Timer();
            }
            return 0;
        case WM_DESTROY:
            destroyed_ = true;
            KillTimer(hwnd_, static_cast<UINT_PTR>(Timer::Timer_Radar));
            KillTimer(hwnd_, static_cast<UINT_PTR>(Timer::Timer_PhaseControl));
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace verlisk::win32
