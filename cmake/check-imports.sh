#!/usr/bin/env bash
# Fails when a Windows program imports a DLL that Windows does not ship, so
# that it runs as one file (USBAPI.DLL is bound at run time, not imported).
#   check-imports.sh OBJDUMP PROGRAM
set -euo pipefail
objdump=$1 program=$2
imports=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || { echo "no imports found in $program" >&2; exit 1; }
status=0
for dll in $imports; do
  case "${dll,,}" in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|comctl32.dll|comdlg32.dll|msvcrt.dll|shell32.dll|winspool.drv|ws2_32.dll) ;;
    *) echo "$(basename "$program") needs $dll beside it" >&2; status=1 ;;
  esac
done
echo "$(basename "$program") imports only system DLLs:" $imports
exit $status
