#!/usr/bin/env bash
# Builds the archives the extraction tests expand, with the Linux 7zz.
#   make_test_archives.sh <7zz> <output dir>
# Every archive is made afresh; names and contents are what the tests expect.
set -euo pipefail
sevenzip=$1
out=$2
export LC_ALL=C.UTF-8 TZ=UTC
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
mkdir -p "$out"
rm -f "$out"/*.7z
a() { "$sevenzip" a -t7z -bd -bso0 -bsp0 "$@"; }

# A normal tree: nested directories, an empty file, an empty directory,
# Chinese names, a read-only file, a fixed time stamp and a larger file.
n=$work/normal
mkdir -p "$n/dir1/dir2" "$n/emptydir" "$n/中文目录"
printf 'Pelorix test archive\r\n' > "$n/readme.txt"
: > "$n/empty.txt"
printf 'deep file\n' > "$n/dir1/dir2/deep.txt"
touch -d '2021-03-04 05:06:07' "$n/dir1/dir2/deep.txt"
printf '你好，世界\n' > "$n/中文目录/中文文件.txt"
printf 'read only\n' > "$n/readonly.txt"
chmod 444 "$n/readonly.txt"
seq 1 60000 > "$n/big.txt"
(cd "$n" && a "$out/normal.7z" readme.txt empty.txt dir1 emptydir 中文目录 readonly.txt big.txt)

# Password protected: the data only, and the names as well.
(cd "$n" && a -pSecret123 "$out/encrypted.7z" readme.txt big.txt)
(cd "$n" && a -pSecret123 -mhe=on "$out/encrypted_header.7z" readme.txt)

# Damaged copies of the normal archive.
size=$(stat -c %s "$out/normal.7z")
head -c $((size - 20)) "$out/normal.7z" > "$out/truncated_end.7z"
head -c 200 "$out/normal.7z" > "$out/truncated_start.7z"
cp "$out/normal.7z" "$out/altered.7z"
# One byte inside the packed data (which starts at offset 32).
byte=$(od -An -tu1 -j 100 -N 1 "$out/altered.7z" | tr -d ' ')
printf "$(printf '\\%03o' $((byte ^ 0x5A)))" |
  dd of="$out/altered.7z" bs=1 seek=100 conv=notrunc status=none
printf 'This is plain text, not an archive.\n' > "$out/not_an_archive.7z"

# Archives naming places outside the destination. Each holds one good file
# first, so a refusal must also keep that one from being written.
u=$work/unsafe/inner
mkdir -p "$u/sub"
printf 'ok\n' > "$u/ok.txt"
unsafe() {  # unsafe <archive name> <path as stored>
  (cd "$u" && a -spf "$out/$1" ok.txt "$2")
}
printf 'up\n' > "$work/unsafe/up.txt"
unsafe unsafe_dotdot.7z ../up.txt
unsafe unsafe_dotdot_inner.7z sub/../../up.txt
printf 'abs\n' > "$work/unsafe/abs.txt"
unsafe unsafe_absolute.7z "$work/unsafe/abs.txt"
for name in 'C:evil.txt' 'a.txt:hidden' 'CON' 'NUL.txt' 'COM1' 'lpt1.log' '..\evil.txt'; do
  printf 'bad\n' > "$u/$name"
done
unsafe unsafe_drive.7z 'C:evil.txt'
unsafe unsafe_stream.7z 'a.txt:hidden'
unsafe unsafe_con.7z 'CON'
unsafe unsafe_nul_txt.7z 'NUL.txt'
unsafe unsafe_com1.7z 'COM1'
unsafe unsafe_lpt1.7z 'lpt1.log'
unsafe unsafe_backslash_dotdot.7z '..\evil.txt'
