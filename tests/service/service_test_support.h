#pragma once
// Helpers for the service tests: the test engine beside the test program and
// scratch folders.

#include <windows.h>

#include <string>

#include "tests/service/fake_engine.h"

namespace service_test {

std::wstring beside_exe(const std::wstring& name);
// The state block of a loaded test engine (null when it is not loaded).
fake_engine_state* engine_state(const std::wstring& dll_path);
// A fresh, empty folder under the temporary folder, with a trailing backslash.
std::wstring scratch_folder(const std::wstring& name);
void write_file(const std::wstring& path, const std::string& bytes);
bool file_exists(const std::wstring& path);

}  // namespace service_test
