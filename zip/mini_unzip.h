#pragma once
// Extracts a whole zip archive into a folder, overwriting without asking, the
// way minizip's command-line extractor does when run as
// "miniunzip -x -o ARCHIVE -d DESTINATION". Also exported by tessaly.exe by
// name, with the C calling convention, beside minizip's reading functions.
//
// Both arguments are NUL-terminated paths in the ANSI code page. Results:
//   0  the archive was processed (entries may have been skipped, and the
//      extraction stops at the first entry that cannot be read, whose CRC
//      does not match or that cannot be written in full);
//   1  the archive opens neither under its name nor with ".zip" appended;
//  -1  the destination cannot be made the current directory.
// The process's current directory is left at the destination, so this is
// not reentrant: one caller at a time.
//
// An entry whose name is absolute, names a drive or climbs out with ".." is
// skipped without creating anything, as is an entry whose name is longer than
// 256 bytes (it could only be written under a cut name).

#ifdef __cplusplus
extern "C" {
#endif

int mini_unzip_dll(const char* archive, const char* destination);

#ifdef __cplusplus
}
#endif
