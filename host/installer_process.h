#pragma once
// Closing other programs and running installers, always with a bound on the
// wait, so that an installer thread never hangs on another process.

#include <windows.h>

#include <string>

// Ends the first process whose executable name is name (any case) with exit
// code 0 and waits up to wait_ms for it. 1 when one was found and ended.
int end_process_named(const wchar_t* name, DWORD wait_ms);

enum class RunResult { not_started, ended, timed_out };

// Starts file with the verb "open", the parameters and no window, and waits
// up to wait_ms for it to end. A program still running then is left alone.
RunResult run_hidden_and_wait(const std::wstring& file, const wchar_t* parameters, DWORD wait_ms);
