// Another program loads tessaly.exe as a library and extracts through its
// exported mini_unzip_dll and minizip functions. The executable's entry point
// (and with it every static constructor) does not run then: the exports must
// neither start the client nor need it.
#include <gtest/gtest.h>
#include <minizip/unzip.h>

#include "host/strings.h"
#include "tests/host/test_folder.h"
#include "tests/zip/zip_test_support.h"

namespace {

using namespace zip_test;

std::wstring tessaly_exe() {
    std::wstring path = L"Z:";
    for (const char* p = TESSALY_EXE; *p; ++p) {
        path += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    return path;
}

// Windows binds the imports of an executable loaded as a library; Wine's
// loader leaves them unbound (only libraries and native images get theirs).
// Bind what is still unbound the way the Windows loader does, so that the
// calls below meet what they meet on Windows. Gives the number of entries it
// had to bind, or -1.
int bind_imports(HMODULE module) {
    BYTE* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int bound = 0;
    if (imports.VirtualAddress == 0) {
        return bound;
    }
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name; ++d) {
        HMODULE dll = LoadLibraryA(reinterpret_cast<const char*>(base + d->Name));
        if (!dll) {
            return -1;
        }
        auto* lookup = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; lookup->u1.AddressOfData; ++lookup, ++slot) {
            if (slot->u1.Function != lookup->u1.AddressOfData) {
                continue;  // bound by the loader
            }
            FARPROC function =
                IMAGE_SNAP_BY_ORDINAL(lookup->u1.Ordinal)
                    ? GetProcAddress(dll, MAKEINTRESOURCEA(IMAGE_ORDINAL(lookup->u1.Ordinal)))
                    : GetProcAddress(dll, reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
                                              base + lookup->u1.AddressOfData)
                                              ->Name);
            if (!function) {
                return -1;
            }
            DWORD protection = 0;
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE,
                           &protection);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(function);
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection, &protection);
            ++bound;
        }
    }
    return bound;
}

template <typename Function>
Function entry(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

TEST(TessalyExports, AnotherProgramExtractsThroughTheExecutable) {
    TestFolder folder;
    KeepCurrentDirectory keep;  // back before the folder goes
    ASSERT_TRUE(folder.ok());
    HMODULE exe = LoadLibraryW(tessaly_exe().c_str());
    ASSERT_NE(exe, nullptr) << "error " << GetLastError();
    const int bound = bind_imports(exe);
    ASSERT_GE(bound, 0);
    RecordProperty("imports_bound_by_the_test", bound);

    for (const char* name : {"mini_unzip_dll",
                             "unzOpen",
                             "unzOpen2",
                             "unzClose",
                             "unzGetGlobalInfo",
                             "unzGetGlobalComment",
                             "unzGoToFirstFile",
                             "unzGoToNextFile",
                             "unzLocateFile",
                             "unzGetFilePos",
                             "unzGoToFilePos",
                             "unzGetOffset",
                             "unzSetOffset",
                             "unzGetCurrentFileInfo",
                             "unzOpenCurrentFile",
                             "unzOpenCurrentFilePassword",
                             "unzOpenCurrentFile2",
                             "unzOpenCurrentFile3",
                             "unzReadCurrentFile",
                             "unztell",
                             "unzeof",
                             "unzGetLocalExtrafield",
                             "unzCloseCurrentFile",
                             "unzStringFileNameCompare"}) {
        EXPECT_NE(entry<void (*)()>(exe, name), nullptr) << name;
    }

    using extract_fn = int (*)(const char*, const char*);
    const auto extract = entry<extract_fn>(exe, "mini_unzip_dll");
    ASSERT_NE(extract, nullptr);
    EXPECT_EQ(extract(archive("plain.zip").c_str(), utf16_to_ansi(folder.path()).c_str()), 0);
    EXPECT_EQ(read_file(folder.path() + L"sub\\dir\\file.txt"), "deep file");
    EXPECT_EQ(extract(archive("zero.zip").c_str(), utf16_to_ansi(folder.path()).c_str()), 1);

    // The reading functions work on their own as well.
    const auto open = entry<unzFile (*)(const char*)>(exe, "unzOpen");
    const auto global = entry<int (*)(unzFile, unz_global_info*)>(exe, "unzGetGlobalInfo");
    const auto locate = entry<int (*)(unzFile, const char*, int)>(exe, "unzLocateFile");
    const auto open_entry = entry<int (*)(unzFile)>(exe, "unzOpenCurrentFile");
    const auto read = entry<int (*)(unzFile, voidp, unsigned)>(exe, "unzReadCurrentFile");
    const auto close_entry = entry<int (*)(unzFile)>(exe, "unzCloseCurrentFile");
    const auto close = entry<int (*)(unzFile)>(exe, "unzClose");
    unzFile zip = open(archive("plain.zip").c_str());
    ASSERT_NE(zip, nullptr);
    unz_global_info info = {};
    EXPECT_EQ(global(zip, &info), UNZ_OK);
    EXPECT_EQ(info.number_entry, 2u);
    ASSERT_EQ(locate(zip, "sub/dir/file.txt", 1), UNZ_OK);
    ASSERT_EQ(open_entry(zip), UNZ_OK);
    char text[64] = {};
    EXPECT_EQ(read(zip, text, sizeof text - 1), 9);
    EXPECT_STREQ(text, "deep file");
    EXPECT_EQ(close_entry(zip), UNZ_OK);
    EXPECT_EQ(close(zip), UNZ_OK);

    // Loading ran none of the client: no window class, no main window.
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    EXPECT_FALSE(GetClassInfoExW(exe, L"TessalyMainWindow", &window_class));
    EXPECT_EQ(FindWindowW(L"TessalyMainWindow", nullptr), nullptr);
    EXPECT_TRUE(FreeLibrary(exe));
}

}  // namespace
