#include "app/app_module.h"

using qm::win32::multithread::scoped_lock;

int MessageLoop::Run() {
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            return static_cast<int>(msg.wParam);
        }
        if (got == -1) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

AppModule& AppModule::Instance() {
    static AppModule module;
    return module;
}

void AppModule::Init(HINSTANCE instance) {
    instance_ = instance;
    main_thread_id_ = GetCurrentThreadId();
}

void AppModule::Term() {
    scoped_lock hold(lock_);
    loops_.clear();
}

void AppModule::AddMessageLoop(MessageLoop* loop) {
    scoped_lock hold(lock_);
    loops_[GetCurrentThreadId()] = loop;
}

void AppModule::RemoveMessageLoop() {
    scoped_lock hold(lock_);
    loops_.erase(GetCurrentThreadId());
}

MessageLoop* AppModule::GetMessageLoop(DWORD thread_id) {
    scoped_lock hold(lock_);
    const auto it = loops_.find(thread_id);
    return it == loops_.end() ? nullptr : it->second;
}
