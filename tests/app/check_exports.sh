#!/usr/bin/env bash
# tessaly.exe exports the zip entry and minizip's 23 reading functions by
# name, and nothing else.
#   check_exports.sh OBJDUMP EXE
set -euo pipefail
objdump=$1 exe=$2
want="mini_unzip_dll unzOpen unzOpen2 unzClose unzGetGlobalInfo unzGetGlobalComment
unzGoToFirstFile unzGoToNextFile unzLocateFile unzGetFilePos unzGoToFilePos unzGetOffset
unzSetOffset unzGetCurrentFileInfo unzOpenCurrentFile unzOpenCurrentFilePassword
unzOpenCurrentFile2 unzOpenCurrentFile3 unzReadCurrentFile unztell unzeof unzGetLocalExtrafield
unzCloseCurrentFile unzStringFileNameCompare"
have=$("$objdump" -p "$exe" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p' | sort)
expected=$(printf '%s\n' $want | sort)
echo "exports: $(echo $have)"
if [ "$have" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$have") || true
  echo "the export table differs from the expected 24 names"
  exit 1
fi
echo "24 names exported"
