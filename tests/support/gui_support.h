// What the window tests share: a message pump with a bound, and Wine's
// unmanaged top-level windows for the test program.
#pragma once

#include <windows.h>

#include <functional>

namespace qm::test {

// Dispatches this thread's messages until done() holds or timeout_ms has
// passed; answers done() at the end.
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms);
void Pump(DWORD ms);
// Dispatches messages while waiting for object; true when it was signalled
// within timeout_ms.
bool PumpUntilSignalled(HANDLE object, DWORD timeout_ms);

// Wine on a display without a window manager waits two seconds for every new
// or hidden top-level window to be confirmed by one, which no one does. The
// running program's windows are left unmanaged instead; the setting is read
// when the first window is made, so call this during static initialisation.
// Real Windows ignores it.
bool LeaveWindowsUnmanaged();

}  // namespace qm::test
