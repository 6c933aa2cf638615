#pragma once
// One Win32 critical section: recursive for the thread that holds it.

#include <windows.h>

namespace qm::win32::multithread {

class critical_section {
public:
    critical_section() { InitializeCriticalSection(&section_); }
    ~critical_section() { DeleteCriticalSection(&section_); }
    critical_section(const critical_section&) = delete;
    critical_section& operator=(const critical_section&) = delete;

    void enter() { EnterCriticalSection(&section_); }
    void leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

// Holds a critical_section for the lifetime of a scope.
class scoped_lock {
public:
    explicit scoped_lock(critical_section& section) : section_(section) { section_.enter(); }
    ~scoped_lock() { section_.leave(); }
    scoped_lock(const scoped_lock&) = delete;
    scoped_lock& operator=(const scoped_lock&) = delete;

private:
    critical_section& section_;
};

}  // namespace qm::win32::multithread
