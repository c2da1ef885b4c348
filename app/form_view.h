#pragma once

#include <cstdint>
#include <string>

#include "app/layout/layout.h"

namespace verlisk {

// Buttons and icons of a message box, by meaning.
enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Critical };
enum class MsgResult { Ok, Yes, No, Cancel };

// What the program asks of its window. Texts are in the system ANSI code page.
class FormView {
  public:
    virtual ~FormView() = default;
    virtual void SetText(Control c, const std::string& text) = 0;
    virtual std::string GetText(Control c) = 0;
    virtual void SetEnabled(Control c, bool enabled) = 0;
    // The text colour of a label: an RGB value or a system colour.
    virtual void SetForeColor(Control c, layout::Color color) = 0;
    // Panels are numbered from 1.
    virtual void SetPanelText(int panel, const std::string& text) = 0;
    virtual void SetTimerEnabled(Timer t, bool enabled) = 0;
    // Modal; the title defaults to the program's name when empty. Timer ticks
    // keep arriving while it is open.
    virtual MsgResult ShowMessage(const std::string& text, const std::string& title,
                                  MsgButtons buttons, MsgIcon icon, bool yesIsDefault) = 0;
    // Lets pending window events run.
    virtual void DoEvents() = 0;
    // Waits, without using the processor, until a window event is pending or the time
    // is up; runs nothing.
    virtual void WaitForEvents(std::uint32_t maxMs) = 0;
    // Destroys the window and everything on it.
    virtual void Unload() = 0;
};

}  // namespace verlisk
