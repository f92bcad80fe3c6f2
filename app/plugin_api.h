// plugin.h for a program that also includes <windows.h>: the plug-in's
// GetVersion export is declared here under another name, as kernel32 has a
// GetVersion of its own. The application looks every export up by name and
// calls none by its declaration. Include this before any other header that
// brings plugin.h.
#pragma once

#define GetVersion PumpwireGetVersionExport
#include "pumpwire/plugin.h"
#undef GetVersion
