#include "zip/mini_unzip.h"

#include <windows.h>

#include <direct.h>
#include <minizip/unzip.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zip/entry_name.h"

// Nothing here may throw or rely on static constructors: another program can
// load tessaly.exe as a library and call in through the export, and then the
// executable's own start-up code never runs.

namespace {

const int kNameLimit = 256;
const unsigned kCopyBufferSize = 8192;

bool is_separator(char c) {
    return c == '/' || c == '\\';
}

// Creates every level of folder; each separator ends a level and a trailing
// "/" is dropped. Errors are left for the file creation to find.
void make_folders(const char* folder) {
    char path[kNameLimit + 1];
    const size_t length = strlen(folder);
    if (length == 0 || length > kNameLimit) {
        return;
    }
    memcpy(path, folder, length + 1);
    if (path[length - 1] == '/') {
        path[length - 1] = '\0';
    }
    if (_mkdir(path) == 0) {
        return;
    }
    for (char* p = path + 1;; ++p) {
        while (*p && !is_separator(*p)) {
            ++p;
        }
        const char hold = *p;
        *p = '\0';
        _mkdir(path);
        if (hold == '\0') {
            return;
        }
        *p = hold;
    }
}

// The entry's DOS date and time are local time; the last access stays.
void set_file_time(const char* name, uLong dos_date) {
    HANDLE file =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    FILETIME local, written, accessed;
    GetFileTime(file, nullptr, &accessed, nullptr);
    if (DosDateTimeToFileTime(HIWORD(dos_date), LOWORD(dos_date), &local) &&
        LocalFileTimeToFileTime(&local, &written)) {
        SetFileTime(file, &written, &accessed, &written);
    }
    CloseHandle(file);
}

// Copies the open entry into out; UNZ_OK when all of it was written.
int copy_entry(unzFile zip, FILE* out, char* buffer) {
    int got;
    do {
        got = unzReadCurrentFile(zip, buffer, kCopyBufferSize);
        if (got < 0) {
            return got;
        }
        if (got > 0 && fwrite(buffer, static_cast<size_t>(got), 1, out) != 1) {
            return UNZ_ERRNO;
        }
    } while (got > 0);
    return UNZ_OK;
}

// UNZ_OK when the entry was extracted or skipped; anything else ends the
// extraction.
int extract_current(unzFile zip) {
    char name[kNameLimit + 1] = {};
    unz_file_info info;
    int err = unzGetCurrentFileInfo(zip, &info, name, kNameLimit, nullptr, 0, nullptr, 0);
    if (err != UNZ_OK) {
        return err;
    }
    char* buffer = static_cast<char*>(malloc(kCopyBufferSize));
    if (!buffer) {
        return UNZ_INTERNALERROR;
    }
    // A cut name could land anywhere; an unsafe one outside the destination.
    if (info.size_filename > static_cast<uLong>(kNameLimit) || !zip_entry_name_is_safe(name)) {
        free(buffer);
        return UNZ_OK;
    }
    const size_t length = strlen(name);
    if (is_separator(name[length - 1])) {
        _mkdir(name);
        free(buffer);
        return UNZ_OK;
    }
    err = unzOpenCurrentFilePassword(zip, nullptr);
    if (err != UNZ_OK) {
        free(buffer);
        return err;
    }
    FILE* out = fopen(name, "wb");
    if (!out) {
        char* last = nullptr;
        for (char* p = name; *p; ++p) {
            if (is_separator(*p)) {
                last = p;
            }
        }
        if (last) {
            const char hold = *last;
            *last = '\0';
            make_folders(name);
            *last = hold;
            out = fopen(name, "wb");
        }
    }
    if (out) {
        err = copy_entry(zip, out, buffer);
        fclose(out);
        if (err == UNZ_OK) {
            set_file_time(name, info.dosDate);
        }
    }
    // Closing checks the CRC once all data was read; an entry that was
    // skipped or failed keeps its own result.
    if (err == UNZ_OK) {
        err = unzCloseCurrentFile(zip);
    } else {
        unzCloseCurrentFile(zip);
    }
    free(buffer);
    return err;
}

}  // namespace

extern "C" int mini_unzip_dll(const char* archive, const char* destination) {
    if (!archive) {
        return 1;
    }
    unzFile zip = unzOpen(archive);
    if (!zip) {
        char with_extension[kNameLimit + 16];
        const size_t length = strnlen(archive, kNameLimit - 1);
        memcpy(with_extension, archive, length);
        memcpy(with_extension + length, ".zip", 5);
        zip = unzOpen(with_extension);
    }
    if (!zip) {
        return 1;
    }
    if (!destination || _chdir(destination) != 0) {
        unzClose(zip);
        return -1;
    }
    unz_global_info global = {};
    unzGetGlobalInfo(zip, &global);
    for (uLong i = 0; i < global.number_entry; ++i) {
        if (extract_current(zip) != UNZ_OK) {
            break;
        }
        if (i + 1 < global.number_entry && unzGoToNextFile(zip) != UNZ_OK) {
            break;
        }
    }
    unzClose(zip);
    return 0;
}
