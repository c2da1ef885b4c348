#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "app/frm_start.h"
#include "app/win32/main_window.h"
#include "common/version.h"
#include "common/win32/system_ports.h"
#include "reporting/win32/winhttp_client.h"
#include "simlink/fsuipc.h"
#include "simlink/win32/ipc_system_win32.h"

namespace verlisk::win32 {
namespace {

// Wires the real adapters to the main window, loads it and runs its message loop.
int Main(HINSTANCE instance) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));

    Win32Regional regional;
    Win32Clock clock;
    Win32Files files;
    Win32IpcSystem ipc;
    Win32Process process;
    FsuipcLink link(ipc);
    WinHttpClient inet;
    MainWindow window(instance);
    FrmStart frmStart({window, files, clock, regional, process, link, inet});

    int code = 1;
    if (window.Create(frmStart)) {
        inet.NotifyWindow(window.hwnd(), kInetMessage);
        frmStart.Form_Load();
        window.Show();
        code = window.Run();
    } else {
        MessageBoxW(nullptr, L"The " VERLISK_NAME " window could not be created.", L"" VERLISK_NAME,
                    MB_OK | MB_ICONSTOP);
    }
    if (com) CoUninitialize();
    return code;
}

}  // namespace
}  // namespace verlisk::win32

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return verlisk::win32::Main(instance);
}
