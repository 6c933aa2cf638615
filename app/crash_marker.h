#pragma once
// The crash marker: "1" under "Count" of section "Crash" in "record.ini"
// beside the program says that the last run ended by an unhandled exception.

#include <windows.h>

// Installs the unhandled-exception filter that writes the marker; restores
// the previous filter.
void InstallCrashFilter();
void RestoreCrashFilter();
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* exception);

// Reads the marker and clears it; true when the last run crashed.
bool TakeCrashMarker();
