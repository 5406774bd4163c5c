#!/usr/bin/env bash
# Fails when the executable imports a DLL outside the known DLLs that
# Windows 7 to 11 always load from System32.
set -euo pipefail
known='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comdlg32|msvcrt|rpcrt4|imm32|setupapi|psapi|ws2_32|normaliz|nsi|sechost|imagehlp|wldap32|msctf|clbcatq|difxapi|ntdll)\.dll$'
bad=0
while read -r dll; do
  if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$known"; then
    echo "imports $dll, which is not a known DLL"
    bad=1
  fi
done < <(i686-w64-mingw32-objdump -p "$1" | awk '/DLL Name:/ {print $3}')
[ "$bad" = 0 ] && echo "all imports are known DLLs"
exit $bad
