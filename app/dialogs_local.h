#pragma once
// Interim pieces the controller calls until the dialogs, the progress texts,
// the hand-over and the installers land from their own branches; removed at
// that merge.

#include <windows.h>

#include <cstdint>
#include <string>

class DownloadController;

std::wstring SpeedLine(uint64_t total, uint64_t downloaded, uint32_t speed);
std::wstring BarCaption(uint64_t downloaded, uint64_t total);
int64_t SavedSeconds(uint64_t game_size);

int ShowSkinnedMessageBox(HWND owner, const wchar_t* text, int icon, int buttons);
int ShowExitChoice(HWND owner, int* choice);
void TransferToHost(DownloadController& controller);
HANDLE StartAddinInstaller(DownloadController* controller, int addin_task, int skin_task);
HANDLE StartAcceleratorInstaller(DownloadController* controller, int accel_task);
