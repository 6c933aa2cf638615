#!/usr/bin/env bash
# tessaly.exe is a 32-bit GUI program that needs no DLL but the system's.
set -euo pipefail
exe=$1
kind=$(file -b "$exe")
echo "$kind"
case $kind in
  "PE32 executable (GUI) Intel 80386"*) ;;
  *) echo "not a PE32 GUI i386 executable"; exit 1 ;;
esac
dlls=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "imports:" $dlls
system="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
comctl32.dll comdlg32.dll gdiplus.dll msimg32.dll ws2_32.dll shlwapi.dll msvcrt.dll
version.dll imm32.dll uxtheme.dll winmm.dll rpcrt4.dll oleacc.dll"
status=0
for dll in $dlls; do
  if ! printf '%s\n' $system | grep -qx "$dll"; then
    echo "not a system DLL: $dll"
    status=1
  fi
done
for dll in $dlls; do
  case $dll in libstdc++*|libgcc*|libwinpthread*|zlib*|libpng*|libexpat*) echo "MinGW or dependency DLL: $dll"; status=1 ;; esac
done
exit $status
