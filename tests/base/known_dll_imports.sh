#!/usr/bin/env bash
# The static import tables of the built programs name only libraries on Windows' KnownDLLs list
# (plus ntdll, which every process has mapped before anything is searched). The loader resolves
# static imports before the first line of the program runs and looks in the program's own folder
# first for any other library; those are delay-loaded from the system folder instead.
#   known_dll_imports.sh OBJDUMP PROGRAM...
set -euo pipefail
objdump=$1
shift
# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs of Windows 10 and 11, less gdiplus,
# which is listed there on some versions only.
known=" advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 imagehlp imm32 kernel32 msctf msvcrt normaliz
 nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi user32 wldap32 ws2_32 "
status=0
for program in "$@"; do
  names=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//')
  if ! grep -qx kernel32 <<<"$names"; then
    echo "FAILED: no import table read from $program"
    status=1
    continue
  fi
  clean=1
  for name in $names; do
    case "$known" in
      *" $name "*) ;;
      *) echo "FAILED: $(basename "$program") imports $name.dll statically"; clean=0; status=1 ;;
    esac
  done
  [ $clean -eq 1 ] && echo "ok: $(basename "$program") imports $(echo $names | tr ' ' ',')"
done
exit $status
