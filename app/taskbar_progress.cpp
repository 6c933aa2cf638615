#include "app/taskbar_progress.h"

#include <shobjidl.h>

#include "app/progress_text.h"

TaskbarProgress::~TaskbarProgress() {
    Release();
}

void TaskbarProgress::Release() {
    if (list_) {
        list_->Release();
        list_ = nullptr;
    }
}

int TaskbarProgress::Bind(HWND window) {
    Release();
    window_ = window;
    ITaskbarList3* list = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(ITaskbarList3), reinterpret_cast<void**>(&list))) ||
        !list) {
        return 0;
    }
    list_ = list;
    return 1;
}

void TaskbarProgress::BindTo(HWND window, ITaskbarList3* list) {
    Release();
    window_ = window;
    if (list) {
        list->AddRef();
        list_ = list;
    }
}

void TaskbarProgress::Show(uint64_t total, uint64_t downloaded) {
    if (!list_ || total == 0) {
        return;
    }
    list_->SetProgressState(window_, TBPF_NORMAL);
    list_->SetProgressValue(window_, static_cast<ULONGLONG>(TaskbarValue(total, downloaded)), 100);
    list_->SetProgressState(window_, TBPF_PAUSED);
}

void TaskbarProgress::Clear() {
    if (list_) {
        list_->SetProgressState(window_, TBPF_NOPROGRESS);
    }
}
