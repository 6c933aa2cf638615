#pragma once
// The process-wide module object: the instance handle, the main thread and
// the message loop that each user-interface thread runs.

#include <windows.h>

#include <map>

#include "host/critical_section.h"

class MessageLoop {
  public:
    // Pumps messages until WM_QUIT and returns its exit code.
    int Run();
};

class AppModule {
  public:
    static AppModule& Instance();

    void Init(HINSTANCE instance);
    void Term();

    HINSTANCE ModuleInstance() const { return instance_; }
    DWORD MainThreadId() const { return main_thread_id_; }

    // The loop of the calling thread.
    void AddMessageLoop(MessageLoop* loop);
    void RemoveMessageLoop();
    MessageLoop* GetMessageLoop(DWORD thread_id);

  private:
    AppModule() = default;

    HINSTANCE instance_ = nullptr;
    DWORD main_thread_id_ = 0;
    qm::win32::multithread::critical_section lock_;
    std::map<DWORD, MessageLoop*> loops_;
};
