#pragma once
// Finding and ending the host's and the accelerator's processes by their
// executable names (compared without regard to case).

#include <windows.h>

// Id of the first process in a fresh snapshot whose executable name equals
// name, or 0 (also when no snapshot can be taken).
DWORD process_id_by_name(const wchar_t* name);

// Ends the first process called name with exit code 0 and waits for it.
// 1 when a process was found and ended.
int close_process_by_name(const wchar_t* name);

// The user-interface side looks for "torvane.exe" and "dozurudire.exe".
int host_running();
int accelerator_running();
int close_host();
int close_accelerator();

// The worker side matches the file-name part of the process path against
// "Torvane.exe" and "Torvane5.exe"; closing ends the first match with exit
// code 1 and returns once its exit code is final.
int worker_host_running();
int worker_close_host();
