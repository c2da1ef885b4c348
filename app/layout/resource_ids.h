#pragma once

// Resource numbers, shared by the resource script and the code.
#define IDI_VERLISK 1
#define IDR_BACKGROUND 201
