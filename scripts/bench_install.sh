#!/usr/bin/env bash
# The complete silent install of the sample package, from process start to
# exit, against the same product tree installed silently by the genuine
# 7z.exe (the floor), NSIS (solid LZMA), Inno Setup (solid LZMA2) and an MSI
# (wixl, msiexec /qn): all under Wine in one throw-away prefix of the setup's
# width (the x86_64 flavour: a 64-bit prefix, the x64 7z.exe and a 64-bit MSI;
# NSIS and Inno Setup exist only as 32-bit programs and run there through
# WOW64, or are listed as not runnable where 32-bit code cannot run), timed in
# interleaved rounds, with package sizes and peak memory (all processes, and
# each installer's own process). Every row runs as Wine runs it and again with
# Wine's menu builder disabled: two tables, with the ratio to the floor and to
# 7z.exe on our own payload. Then one silent install with the setup's Debug log
# gives its timeline (ms from process creation per stage, peak memory so far),
# and the setup's own pipeline: staging alone, placement alone, and both
# overlapped. Prints the tables; it is a benchmark, not a test.
#
#   scripts/bench_install.sh              # 9 rounds
#   ROUNDS=3 scripts/bench_install.sh     # quicker, noisier
#
# PELORIX_BUILD_DIR  build directory (default build/); build-x64/ measures the
#                    x86_64 flavour. The first line printed names the flavour.
# BENCH_NO_BUILD=1   measures the build directory as it is (no cmake --build)
# BENCH_WORK         packages, prefix and results (default <build>/bench-install)
# ROUNDS             timed rounds (default 9)
# STARTS_PRODUCT_ROW=0 leaves out the row of the setup as a user runs it
#                    (without --nostart: it starts the product at the end)
# PAYLOAD_VARIANTS=0  leaves out the rows of our package with other payload
#                    settings (7-Zip defaults, the previous settings, LZMA2 for the text)
# OUR_ARGS           the setup's arguments (default "--hide_ui /DIR=<dir> --nostart":
#                    the peers start nothing after installing either)
# EXTRA_ROWS         a JSON file of further rows in the form of rows.json (for
#                    example packages built with other payload settings)
# ROWS               keys of the rows to run, comma-separated (default all), for
#                    quick iterations, e.g. ROWS=7zours,ours; the floor (7z) always runs.
#                    Keys: 7z 7zc6m 7zours startup nsis inno msi ours ours-start
#                    ours-defaults ours-lzma2-d8m-c2m ours-lzma2-text
# MENU_BUILDER       both (default): every row as Wine runs it and again with
#                    Wine's menu builder disabled, two tables; on / off: one of them
# PIPELINE=0         leaves out bench_pipeline and bench_staging
# PELORIX_KEEP_PREFIX=1 keeps the Wine prefix for a look afterwards.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${PELORIX_BUILD_DIR:-$top/build}")
. "$top/scripts/deps.env"
rounds=${ROUNDS:-9}
work=$(realpath -m "${BENCH_WORK:-$build/bench-install}")
our_args=${OUR_ARGS:---hide_ui /DIR=<dir> --nostart}
iscc=$DEPS_DIR/npm-inno/node_modules/innosetup/bin/ISCC.exe

for tool in 7zz wine wineserver makensis wixl wixl-heat xvfb-run python3; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/bootstrap.sh" >&2; exit 2; }
done
[ -f "$iscc" ] || { echo "$iscc is missing: run scripts/bootstrap.sh" >&2; exit 2; }

# The setup reports statistics to a loopback endpoint (PELORIX_STAT_HOST of
# the build). The benchmark answers them at once, as a reachable server
# would, from a network namespace of its own: the port stays free for every
# other program, and nothing else can answer there. Wine creates sockets in
# the wineserver, so the prefix's server starts inside the namespace too
# (everything below runs there). STAT_SERVER=0 leaves the
# endpoint unreachable (an offline machine; the setup then waits for its
# senders to give up).
stat_server=${STAT_SERVER:-1}
if [ -z "${BENCH_IN_NETNS:-}" ]; then
  if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null && command -v ip >/dev/null; then
    export BENCH_IN_NETNS=1
    exec unshare --net bash -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$@"
  fi
  echo "note: no network namespace (needs root, unshare and ip): statistics go unanswered" >&2
  stat_server=0
fi

# Inno Setup's setup aborts without an X display even when it shows nothing;
# every row shares one virtual server.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

log() { printf '[bench_install %s] %s\n' "$(date +%T)" "$*" >&2; }
win() { printf 'Z:%s' "${1//\//\\}"; }  # Wine's Z: drive is the Unix root

if [ "${BENCH_NO_BUILD:-0}" != 1 ]; then
  log "building the package and the pipeline benchmark"
  cmake --build "$build" --target setup_package bench_pipeline bench_staging >/dev/null ||
    { echo "bench_install: building the package in $build failed" >&2; exit 1; }
fi
package=$build/package/Install.exe
product=$build/product
[ -f "$package" ] || { echo "bench_install: $package is missing (build it, or leave out BENCH_NO_BUILD)" >&2; exit 1; }

. "$top/tests/wine/prefix_lib.sh"
. "$top/tests/bench/bench_flavour.sh"
bench_flavour "$package"
# NSIS and Inno Setup (and its compiler) are 32-bit programs only.
peers32=yes
[ "$bench_wine32" = yes ] || peers32=no

if [ -d "$work/wpfx" ]; then WINEPREFIX=$work/wpfx wineserver -k 2>/dev/null || true; fi
rm -rf "$work"
mkdir -p "$work/wpfx"
cd "$work"

# ---- the prefix: a copy of the test bench's template, with a display driver
tmpl=$(template_prefix "$bench_width" 7) && [ -f "$tmpl/.ready" ] ||
  { echo "bench_install: no Wine template prefix for win$bench_width" >&2; exit 1; }
cp -a "$tmpl/." "$work/wpfx/"
export WINEPREFIX=$work/wpfx
keeper=
cleanup() {
  if [ -n "$keeper" ]; then kill "$keeper" 2>/dev/null || true; fi
  if [ -f "$work/stat/server.pid" ]; then
    python3 "$top/tests/support/loopback_http_server.py" stop --pidfile "$work/stat/server.pid" \
      >/dev/null 2>&1 || true
  fi
  WINEPREFIX=$work/wpfx wineserver -k 2>/dev/null || true
  if [ -z "${PELORIX_KEEP_PREFIX:-}" ]; then rm -rf "$work/wpfx"; fi
}
trap cleanup EXIT
# The server stays up between runs, started before anything else (a later
# "-p" fails while another server is up).
wineserver -p
wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
# One idle GUI process for the whole session, as a desktop shell would be:
# without it Wine's services wind down between runs, and the next installer
# that starts COM waits up to 10 s for them.
wine notepad >/dev/null 2>&1 &
keeper=$!
wine cmd /c exit >/dev/null 2>&1

stat_host=$(sed -n 's/^PELORIX_STAT_HOST:STRING=//p' "$build/CMakeCache.txt")
stat_note="statistics endpoint $stat_host not answered"
if [ "$stat_server" = 1 ] && [ "${stat_host%%:*}" = 127.0.0.1 ]; then
  mkdir -p "$work/stat"
  python3 "$top/tests/support/loopback_http_server.py" start --root "$work/stat" \
    --port "${stat_host##*:}" --pidfile "$work/stat/server.pid" --answer-all >/dev/null
  stat_note="statistics answered at once on $stat_host (loopback, own network namespace)"
fi
log "$stat_note"

# ---- the peers' packages, all from the tree our package carries
files=$(find "$product" -type f | wc -l)
log "payload tree: $files files, $(du -sb "$product" | cut -f1) bytes"
wanted() {  # row key: whether ROWS selects it (the floor always runs)
  [ -z "${ROWS:-}" ] || [ "$1" = 7z ] || [[ ",$ROWS," == *",$1,"* ]]
}
build_row() {  # name, command...: logs the build time, fails the script on error
  local name=$1 t0 t1; shift
  t0=$(date +%s.%N)
  "$@" >"build-$name.log" 2>&1 || { echo "building $name failed:" >&2; tail -5 "build-$name.log" >&2; exit 1; }
  t1=$(date +%s.%N)
  log "built $name in $(python3 -c "print(round($t1 - $t0, 1))") s"
}
# The floor: 7-Zip's default settings (solid LZMA2, one block), and the same
# stream cut into 6 MiB blocks that 7z.exe decodes on several threads.
build_row 7z sh -c "cd '$product' && 7zz a -bd -t7z -m0=lzma2 '$work/payload.7z' ."
wanted 7zc6m && build_row 7z-c6m sh -c "cd '$product' && 7zz a -bd -t7z -m0=lzma2:c=6m '$work/payload-c6m.7z' ."
# Our own payload, unscrambled, for 7z.exe.
build_row ours-7z python3 -c "
import sys; sys.path.insert(0, '$top/packaging')
import make_package as mp, pe_image
data = open('$package', 'rb').read()
off, _ = mp.find_record(data)
o, n, _ = mp.unpack_record(data[off:off + 24])
open('$work/ours-payload.7z', 'wb').write(mp.unscramble(data[o:o + n]))"

cat >peer.nsi <<EOF
Unicode true
SetCompressor /SOLID lzma
SetCompressorDictSize 32
Name "BenchPeer"
OutFile "peer-nsis.exe"
InstallDir "\$PROGRAMFILES\\BenchPeer"
RequestExecutionLevel admin
Page directory
Page instfiles
Section
  SetOutPath "\$INSTDIR"
  File /r "$product/*.*"
SectionEnd
EOF
wanted nsis && [ "$peers32" = yes ] && build_row nsis makensis -V2 peer.nsi

cat >peer.iss <<EOF
[Setup]
AppName=BenchPeer
AppVersion=1.0
DefaultDirName={commonpf}\\BenchPeer
OutputDir=.
OutputBaseFilename=peer-inno
Compression=lzma2/max
SolidCompression=yes
Uninstallable=no
PrivilegesRequired=admin
DisableProgramGroupPage=yes
DisableWelcomePage=yes
DisableReadyPage=yes
DisableFinishedPage=yes

[Files]
Source: "$(win "$product")\\*"; DestDir: "{app}"; Flags: recursesubdirs createallsubdirs
EOF
wanted inno && [ "$peers32" = yes ] && build_row inno wine "$iscc" /Q peer.iss

# wixl-heat --win64 marks the components Win64="\$(var.Win64)".
if [ "$bench_width" = 64 ]; then msi_arch=x64 msi_pf=ProgramFiles64Folder heat_win64=--win64 msi_win64="-D Win64=yes"
else msi_arch=x86 msi_pf=ProgramFilesFolder heat_win64='' msi_win64=''; fi
cat >peer.wxs <<EOF
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="BenchPeer" Language="1033" Version="1.0.0"
           Manufacturer="BenchPeer" UpgradeCode="3B7D0E51-9A24-4C6F-B8E3-52A1D07C94E6">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="payload.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="$msi_pf">
        <Directory Id="INSTALLDIR" Name="BenchPeer"/>
      </Directory>
    </Directory>
    <Feature Id="Complete" Level="1">
      <ComponentGroupRef Id="Payload"/>
    </Feature>
  </Product>
</Wix>
EOF
wanted msi && build_row msi sh -c "cd '$product/..' && find '$(basename "$product")' -type f | LC_ALL=C sort |
  wixl-heat -p '$(basename "$product")/' --directory-ref INSTALLDIR --component-group Payload \
    --var var.SourceDir $heat_win64 >'$work/peer-files.wxs' &&
  wixl -a $msi_arch $msi_win64 -D SourceDir='$(basename "$product")' -o '$work/peer.msi' '$work/peer.wxs' '$work/peer-files.wxs'"

# ---- our package with other payload settings, around the same image
# (unsigned: the setup does not check its own signature). The figures of
# these rows are what the payload settings were chosen by.
if [ "${PAYLOAD_VARIANTS:-1}" = 1 ]; then
  build_row variants python3 - "$top/packaging" "$product" "$build/packaging/Install.stripped.exe" "$work" <<'EOF'
import os, subprocess, sys
sys.path.insert(0, sys.argv[1])
import make_package as mp
product, image, work = sys.argv[2:5]
whole_tree = {  # one 7zz pass over the whole tree
    "defaults": ["-t7z", "-m0=LZMA2"],
    "lzma2-d8m-c2m": ["-t7z", "-m0=LZMA2:d=8m:c=2m", "-mx=5", "-mmt=on", "-mf=on", "-ms=on"],
}
for name, args in whole_tree.items():
    archive = os.path.join(work, "variant-%s.7z" % name)
    subprocess.run(["7zz", "a", "-bd", "-y"] + args + [archive, "--"] + sorted(os.listdir(product)),
                   cwd=product, check=True, stdout=subprocess.DEVNULL)
mp.PAYLOAD_METHODS["data"] = ["-m0=LZMA2:d=4m:c=3m:lc=4:pb=0", "-mx=9"]
mp.make_payload_7z(product, os.path.join(work, "variant-lzma2-text.7z"))
with open(image, "rb") as f:
    image_bytes = f.read()
for name in list(whole_tree) + ["lzma2-text"]:
    with open(os.path.join(work, "variant-%s.7z" % name), "rb") as f:
        package = mp.assemble(image_bytes, mp.scramble(f.read()))
    with open(os.path.join(work, "Install-%s.exe" % name), "wb") as f:
        f.write(package)
EOF
fi

# ---- rows: the floor first
python3 - "$work/rows.json" <<EOF
import json, shlex, sys
seven = "$npm7z/7z.exe"
# Programs of the setup's width; the 32-bit peers always through plain wine.
wine = "$(bench_wine_cmd "$package")".split()
x64 = "$bench_width" == "64"
# The setup writes the install path into the update configuration.
ours_rewrites = ["updatecfg.ini"]
def sevenzip(name, key, archive):
    if x64:
        name = name.replace("7z.exe", "7z.exe (x64)", 1)
    return {"name": name, "key": key, "argv": wine + [seven, "x", "-y", "-bso0", "-bsp0", "-o<dir>", archive],
            "package": [archive]}
def peer32(row):
    # In the 64-bit prefix: run through WOW64 where 32-bit code runs,
    # otherwise listed without figures.
    if x64:
        row["name"] += ", 32-bit program"
        if "$peers32" != "yes":
            return {"name": row["name"], "key": row["key"], "not_runnable": "not runnable on this machine"}
        row["name"] += " (WOW64)"
    return row
rows = [
    sevenzip("7z.exe x (7-Zip defaults: floor)", "7z", "$work/payload.7z"),
    sevenzip("7z.exe x (LZMA2 in 6 MiB blocks)", "7zc6m", "$work/payload-c6m.7z"),
    sevenzip("7z.exe x (our payload)", "7zours", "$work/ours-payload.7z"),
    {"name": "wine cmd /c exit (process start-up)", "key": "startup",
     "argv": wine + ["cmd", "/c", "exit"], "check": False},
    peer32({"name": "NSIS 3.08 (solid LZMA) /S", "key": "nsis",
            "argv": ["wine", "$work/peer-nsis.exe", "/S", "/D=<dir>"], "package": ["$work/peer-nsis.exe"]}),
    peer32({"name": "Inno Setup $INNOSETUP_VERSION (solid LZMA2 max) /VERYSILENT", "key": "inno",
            "argv": ["wine", "$work/peer-inno.exe", "/VERYSILENT", "/SUPPRESSMSGBOXES", "/NORESTART", "/DIR=<dir>"],
            "package": ["$work/peer-inno.exe"]}),
    {"name": "MSI (wixl, MSZIP%s) msiexec /qn" % (", x64" if x64 else ""), "key": "msi",
     "argv": wine + ["msiexec", "/i", "$work/peer.msi", "/qn", "INSTALLDIR=<dir>"],
     "pre": wine + ["msiexec", "/x", "$work/peer.msi", "/qn", "INSTALLDIR=<dir>"],
     "package": ["$work/peer.msi"]},
    {"name": "Install.exe " + """$our_args""".replace("<dir>", "DIR"), "key": "ours",
     "argv": wine + ["$package"] + shlex.split(r"""$our_args"""), "package": ["$package"],
     "rewritten": ours_rewrites},
]
if "${STARTS_PRODUCT_ROW:-1}" == "1":
    # As a user runs it: the product is started at the end (and ended
    # between runs, untimed).
    rows.append({"name": "Install.exe --hide_ui /DIR=DIR (starts the product)", "key": "ours-start",
                 "argv": wine + ["$package", "--hide_ui", "/DIR=<dir>"], "package": ["$package"],
                 "kill_after": ["pelorix_ui.exe"], "rewritten": ours_rewrites})
variants = {"defaults": "7-Zip defaults (LZMA2, one block)",
            "lzma2-d8m-c2m": "LZMA2 d=8m c=2m, BCJ (previous settings)",
            "lzma2-text": "ours but LZMA2 in 3 MiB blocks for the text"}
if "${PAYLOAD_VARIANTS:-1}" == "1":
    for name, text in variants.items():
        exe = "$work/Install-%s.exe" % name
        rows.append({"name": "Install.exe, payload: %s, unsigned" % text, "key": "ours-" + name,
                     "argv": wine + [exe] + shlex.split(r"""$our_args"""), "package": [exe],
                     "rewritten": ours_rewrites})
extra = "${EXTRA_ROWS:-}"
if extra:
    rows += json.load(open(extra))
keep = [k for k in "${ROWS:-}".split(",") if k]
if keep:
    rows = [r for r in rows if r["key"] == "7z" or r["key"] in keep]
json.dump(rows, open(sys.argv[1], "w"), indent=1)
EOF

log "timing: $rounds rounds"
rc=0
python3 "$top/tests/bench/bench_install.py" --rows rows.json --payload "$product" --rounds "$rounds" \
  --ref 7zours --judge ours --menu-builder "${MENU_BUILDER:-both}" \
  --json results.json >results.md 2>timing.log || rc=$?

# The setup's own timeline: one more silent install with the Debug level on
# (its log is off otherwise), without the menu builder.
log "timeline: one silent install with debug logging"
temp_unix=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')")
rm -f "$temp_unix/pelorix_setup.log"
rm -rf "$WINEPREFIX/drive_c/bench/timeline"
t0=$(date +%s.%N)
WINEDLLOVERRIDES=winemenubuilder.exe=d wine "$package" --hide_ui '/DIR=C:\bench\timeline' --nostart \
  --set_log_lev=0 >/dev/null 2>&1 || rc=$?
t1=$(date +%s.%N)
rm -rf "$WINEPREFIX/drive_c/bench/timeline"
if [ -f "$temp_unix/pelorix_setup.log" ]; then
  python3 "$top/tests/bench/bench_install.py" --timeline "$temp_unix/pelorix_setup.log" \
    --wall-ms "$(python3 -c "print(round(($t1 - $t0) * 1000))")" >timeline.md || rc=$?
else
  echo "bench_install: the setup wrote no log at $temp_unix/pelorix_setup.log with --set_log_lev=0" >&2
  echo "no timeline: the setup wrote no log (%TEMP%\pelorix_setup.log) with --set_log_lev=0" >timeline.md
  rc=1
fi

if [ "${PIPELINE:-1}" = 1 ]; then
  log "pipeline: staging and placement inside the setup"
  wine "$build/bin/bench_pipeline.exe" "$(win "$package")" "$(win "$npm7z/7z.dll")" 'C:\benchpipe' \
    "$rounds" >pipeline.md 2>>timing.log || rc=$?
fi

# Staging alone and 7z.exe on the same archive, for each payload setting
# (bench_staging: medians of interleaved rounds within one setting).
if [ "${PAYLOAD_VARIANTS:-1}" = 1 ] && [ "${PIPELINE:-1}" = 1 ]; then
  log "staging per payload setting"
  {
    echo "| payload settings | payload bytes | 7z.exe x ms | staging ms | of which verify+unscramble ms | staging peak MiB |"
    echo "|---|---:|---:|---:|---:|---:|"
    declare -A label=([ours]="ours: incompressible stored, text Deflate, PE with BCJ2"
                      [defaults]="7-Zip defaults (LZMA2, one block)"
                      [lzma2-d8m-c2m]="LZMA2 d=8m c=2m, BCJ (previous settings)"
                      [lzma2-text]="ours but LZMA2 in 3 MiB blocks for the text")
    for v in ours defaults lzma2-d8m-c2m lzma2-text; do
      exe=$work/Install-$v.exe
      [ "$v" = ours ] && exe=$package
      wine "$build/bin/bench_staging.exe" "$(win "$exe")" "$(win "$npm7z/7z.dll")" "$(win "$npm7z/7z.exe")" \
        "$rounds" 2>>timing.log | tr -d '\r' | python3 -c "
import re, sys
text = sys.stdin.read()
size = re.search(r'payload: (\d+) bytes', text).group(1)
seven = re.search(r'7z.exe x \(unscrambled archive\)\s+(\d+)\s+\S+\s+\S+', text).group(1)
stage = re.search(r'staging \(verify\+unscramble\+extract\)\s+(\d+)\s+\S+\s+(\S+)', text)
verify = re.search(r'of which verify\+unscramble\s+(\d+)', text).group(1)
print('| %s | {:,} | %s | %s | %s | %s |'.format(int(size)) % (sys.argv[1], seven, stage.group(1), verify, stage.group(2)))
" "${label[$v]}" || echo "| ${label[$v]} | failed | | | | |"
    done
  } >staging.md
fi

echo
echo "Silent installs under Wine, $rounds interleaved rounds (ratio: median of per-round ratios to the floor)"
echo
cat results.md
echo
echo "The setup's timeline (one more silent install, Debug log, no menu builder)"
echo
cat timeline.md
if [ -f pipeline.md ]; then
  echo
  echo "Inside the setup: staging and placement (bench_pipeline, $rounds rounds)"
  echo
  tr -d '\r' <pipeline.md
fi
if [ -f staging.md ]; then
  echo
  echo "Staging alone per payload setting (bench_staging, $rounds rounds each; ours = the settings of make_package.py)"
  echo
  cat staging.md
fi
echo
echo "wine $(wine --version), 7z.exe $(wine "$npm7z/7z.exe" i 2>/dev/null | tr -d '\r' | grep -m1 -o '7-Zip [0-9.]* ([a-z0-9]*)'), makensis $(makensis -VERSION), wixl $(wixl --version), Inno Setup $INNOSETUP_VERSION, $(nproc) cores"
echo "$stat_note; $(grep -c . "$work/stat/requests.log" 2>/dev/null || echo 0) statistics requests answered"
echo "per-round log: $work/timing.log"
exit $rc
