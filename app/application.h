#pragma once
// The run function: one copy per game id, the main window, the message loop
// and the orderly shutdown. The command line and show command are ignored.

#include <windows.h>

int RunApplication(LPWSTR command_line, int show_command);

// The process entry's work around RunApplication, in start-up order and
// torn down in reverse.
int RunProcess(HINSTANCE instance, LPWSTR command_line, int show_command);
