#pragma once

// Control identifiers shared by the window, its tests and the UI driver.
// The numbers are the Win32 control ids of the child windows.
namespace verlisk {

enum class Control : int {
    Label1 = 101,
    Label2 = 102,
    Label3 = 103,
    Label4 = 104,
    Label5 = 105,
    Label6 = 106,
    Label7 = 107,
    lblStartWeight = 111,
    lblStopWeight = 112,
    lblDifference = 113,
    lblFuelage = 114,
    txtClientID = 120,
    cmdStart = 121,
    cmdStop = 122,
    Shape1 = 130,
    StatusBar1 = 140,
};

enum class Timer : int { Timer_Radar = 1, Timer_PhaseControl = 2 };

}  // namespace verlisk
