#include "tests/service/service_test_support.h"

#include "host/file_utils.h"
#include "host/host_paths.h"

namespace service_test {

std::wstring beside_exe(const std::wstring& name) {
    return program_directory() + name;
}

fake_engine_state* engine_state(const std::wstring& dll_path) {
    HMODULE module = GetModuleHandleW(dll_path.c_str());
    if (!module) {
        return nullptr;
    }
    auto get = reinterpret_cast<fake_engine_state_fn>(
        reinterpret_cast<void*>(GetProcAddress(module, "fake_state")));
    return get ? get() : nullptr;
}

std::wstring scratch_folder(const std::wstring& name) {
    std::wstring folder;
    temporary_folder(folder);
    folder += L"tessaly-service-test-" + name + L"\\";
    delete_folder_tree(folder);
    create_folder_tree(folder);
    return folder;
}

void write_file(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

bool file_exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace service_test
