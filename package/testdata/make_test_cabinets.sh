#!/usr/bin/env bash
# Builds the cabinets the resource unpacking tests expand, with gcab.
#   make_test_cabinets.sh <output dir>
# Hostile member names are written by patching same-length placeholder names
# in a cabinet gcab made (names are not covered by any checksum).
set -euo pipefail
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/sub"
cd "$work"
printf 'library bytes\n' > 7z.dll
printf 'nested\n' > sub/nested.txt
gcab -c "$out/normal.cab" 7z.dll sub/nested.txt

cabinet_with_name() {  # <archive> <placeholder> <hostile name of the same length>
  local placeholder=$2 hostile=$3
  mkdir -p "$(dirname "$placeholder")"
  printf 'bad\n' > "$placeholder"
  gcab -c "$out/$1" 7z.dll "$placeholder"
  python3 - "$out/$1" "${placeholder//\//\\}" "$hostile" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2].encode(), sys.argv[3].encode()
assert len(old) == len(new)
data = open(path, 'rb').read()
assert data.count(old + b'\0') == 1, 'placeholder not found once'
open(path, 'wb').write(data.replace(old + b'\0', new + b'\0'))
PY
}
cabinet_with_name dotdot.cab aa/evil.txt '..\evil.txt'
cabinet_with_name absolute.cab Qevil.txt '\evil.txt'
cabinet_with_name drive.cab QQevil.txt 'C:evil.txt'
cabinet_with_name stream.cab a.txtQhidden 'a.txt:hidden'
