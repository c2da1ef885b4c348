#pragma once

// Plain macros so that the resource compiler can read them too.
#define VERLISK_VERSION_MAJOR 2
#define VERLISK_VERSION_MINOR 0
#define VERLISK_VERSION_REVISION 27
