#!/usr/bin/env bash
# Tests the Windows build (scripts/build-windows.sh) under Wine:
#   1. every test executable of build-win/ through ctest, which runs them with Wine
#      (CMAKE_CROSSCOMPILING_EMULATOR); GUI tests on Qt's offscreen platform. Wine shows no
#      QTest output, so each test also writes it to build-win/tests/results/<test>.txt,
#      printed here for every test that fails. The player pane plays into a PulseAudio
#      server that this script starts with one null sink (parec records its monitor), through
#      Wine's PulseAudio driver;
#   2. orvik-cli.exe against the Linux build's orvik-cli (build/, made by scripts/setup.sh)
#      on copies of the sample backups: listing, queries, SQL, the checker, a delete and an
#      export must give the same output, paths aside;
#   3. the installer, build-win/orvik-<version>-setup.exe, in a fresh Wine prefix: installed
#      silently for the current user, its files, Start-menu entry and uninstall registration
#      checked; the installed orvik-cli.exe on the samples and the pane's sound test on the
#      installed DLLs; a silent uninstall must leave only the user's files. Then once more
#      for all users.
#
#   scripts/test-windows.sh [ctest arguments]     e.g. -R tst_jetfile (runs only step 1)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
win=$root/build-win
[[ -x $win/bin/orvik-cli.exe ]] || { echo "build-win/ is missing: run scripts/build-windows.sh first" >&2; exit 2; }
[[ -x build/bin/orvik-cli ]] || scripts/setup.sh
status=0

# The sound server and recorder, and GStreamer's base plugins, which Wine's audio
# resampler (used by Qt Multimedia's Windows output) runs on.
missing=()
for p in pulseaudio pulseaudio-utils gstreamer1.0-plugins-base; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

work=$(mktemp -d)
pids=()
cleanup() {
  # The Wine prefix of the installer's tests goes with its server.
  if [[ ${WINEPREFIX:-} == "$work/prefix" ]]; then "$wineserver" -k 2> /dev/null || true; fi
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2> /dev/null || true
  done
  wait 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# No menu entries on the Linux desktop for what installers put into the Start menu, and no
# downloads of Mono or Gecko into a new prefix.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

# A PulseAudio server of this script's own with one null sink at 48 kHz, and parec
# recording the sink's monitor into $work/pulse/capture.raw; Wine's PulseAudio driver plays
# into it (PULSE_SERVER), and the pane's test reads the recording (ORVIK_TEST_PULSE_CAPTURE).
start_pulse() {
  local dir=$work/pulse
  mkdir -p "$dir/home" "$dir/runtime"
  local env=(env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY -u PULSE_SERVER HOME="$dir/home"
             XDG_CONFIG_HOME="$dir/home/config" XDG_RUNTIME_DIR="$dir/runtime" PULSE_RUNTIME_PATH="$dir/runtime"
             PULSE_STATE_PATH="$dir/state")
  "${env[@]}" pulseaudio -n --daemonize=no --system=false --exit-idle-time=-1 --use-pid-file=false \
    --realtime=false --high-priority=false --log-target=stderr \
    --load="module-null-sink sink_name=orvik_null rate=48000 channels=1 format=s16le" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/runtime/native" > "$dir/pulseaudio.log" 2>&1 &
  pids+=($!)
  local i
  for ((i = 0; i < 100; ++i)); do
    [[ -S $dir/runtime/native ]] && break
    sleep 0.1
  done
  [[ -S $dir/runtime/native ]] || { cat "$dir/pulseaudio.log" >&2; return 1; }
  "${env[@]}" parec --server="unix:$dir/runtime/native" --device=orvik_null.monitor --raw --format=s16le \
    --rate=48000 --channels=1 --latency-msec=10 > "$dir/capture.raw" 2> "$dir/parec.log" &
  pids+=($!)
  for ((i = 0; i < 100; ++i)); do
    [[ -s $dir/capture.raw ]] && break
    sleep 0.1
  done
  [[ -s $dir/capture.raw ]] || { cat "$dir/parec.log" >&2; return 1; }
  export PULSE_SERVER="unix:$dir/runtime/native"
  export ORVIK_TEST_PULSE_CAPTURE="Z:$dir/capture.raw"
}
start_pulse

echo "== Test executables under Wine"
rm -rf "$win/tests/results"
mkdir -p "$win/tests/results"
if ! ctest --test-dir "$win" --output-on-failure --timeout 600 "$@"; then
  status=1
fi
for result in "$win"/tests/results/*.txt; do
  [[ -f $result ]] || continue
  if grep -q '^FAIL!' "$result" || ! grep -q '^Totals: .* 0 failed' "$result"; then
    echo "---- $(basename "$result")"
    grep -E '^(FAIL!|XPASS|   Loc:|   Actual|   Expected|Totals:|QFATAL|QWARN)' "$result" | head -40
  fi
done

(($#)) && exit $status

echo "== orvik-cli.exe against the Linux orvik-cli"
# Both read their settings beside the executable: English texts for both.
mkdir -p "$work/lin-bin" "$work/win-bin"
cp -r build/bin/orvik-cli build/bin/language "$work/lin-bin/"
cp -r "$win/bin/orvik-cli.exe" "$win/bin/language" "$work/win-bin/"
printf '[config]\r\nm_language=1\r\n' | tee "$work/lin-bin/config.ini" > "$work/win-bin/config.ini"

# samples_for NAME: fresh copies of the samples in $work/NAME.linux and $work/NAME.windows,
# for the Linux orvik-cli and for the Windows one (the command in win_cli).
samples_for() {
  lin_dir=$work/$1.linux
  win_dir=$work/$1.windows
  cp -r samples/Rec "$lin_dir"
  cp -r samples/Rec "$win_dir"
  winroot="Z:$(tr / '\\' <<< "$win_dir")"
}
win_cli=(scripts/wine-run.sh "$work/win-bin/orvik-cli.exe")
samples_for build

# The same command on both; {} stands for the copy of the samples each works on.
compare() {
  local name=$1
  shift
  local lin=() wout=() a
  for a in "$@"; do
    lin+=("${a//\{\}/$lin_dir}")
    wout+=("${a//\{\}/$winroot}")
  done
  for ((i = 0; i < ${#wout[@]}; ++i)); do
    [[ ${wout[i]} == "$winroot"* ]] && wout[i]=$(tr / '\\' <<< "${wout[i]}")
  done
  local lcode=0 wcode=0
  "$work/lin-bin/orvik-cli" "${lin[@]}" > "$work/$name.linux" 2>&1 < /dev/null || lcode=$?
  "${win_cli[@]}" "${wout[@]}" > "$work/$name.raw" 2>&1 < /dev/null || wcode=$?
  # Paths aside: the Windows root and separators become the Linux ones; CR LF becomes LF.
  python3 - "$work/$name.raw" "$winroot" "$win_dir" "$lin_dir" > "$work/$name.windows" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8", errors="replace").read().replace("\r\n", "\n")
winroot, winunix, linroot = sys.argv[2], sys.argv[3], sys.argv[4]
def unix(m):
    return linroot + m.group(1).replace("\\", "/")
text = re.sub(re.escape(winroot) + r"([^\t\n]*)", unix, text)
# The TSV listings write a backslash as "\\": the root comes doubled there.
def unix_escaped(m):
    return linroot + m.group(1).replace("\\\\", "/")
text = re.sub(re.escape(winroot.replace("\\", "\\\\")) + r"([^\t\n]*)", unix_escaped, text)
text = text.replace(winunix, linroot)
sys.stdout.write(text)
PY
  if [[ $lcode != "$wcode" ]] || ! cmp -s "$work/$name.linux" "$work/$name.windows"; then
    echo "DIFFERENT: $name (exit codes $lcode / $wcode)"
    diff "$work/$name.linux" "$work/$name.windows" | head -20 || true
    # A crash under Wine prints its dump here: registers, backtrace, and the modules with
    # their addresses, which tell where it happened.
    echo "(the Windows output begins:)"
    head -80 "$work/$name.raw" || true
    status=1
  else
    echo "same: $name ($(wc -l < "$work/$name.linux") lines, exit code $lcode)"
  fi
}

compare backups backups --root {}
for b in 2009-12 2010-01 odd-types; do
  compare "query-$b" query "{}/$b"
done
compare query-filtered query {}/2009-12 --type incoming --from 2009-12-01 --to 2009-12-15
compare query-sql query {}/2009-12 --number 110 --sql
compare query-chinese query {}/2009-12 --language 0
compare query-turkish query {}/2010-01 --language 3
compare sql sql {}/2009-12/dbR.mdb "select * from Record order by id"
compare sql-error sql {}/2009-12/dbR.mdb "select * from Nothing"
compare check check {}/2009-12/dbR.mdb
compare delete delete {}/2009-12 3 --yes
compare after-delete query {}/2009-12
compare check-after-delete check {}/2009-12/dbR.mdb
compare export export {}/2010-01 --output {}/calls.xlsx
# compare_workbooks: the cells of the two exports of `compare export`.
compare_workbooks() {
  if [[ ! -f $lin_dir/calls.xlsx || ! -f $win_dir/calls.xlsx ]]; then
    echo "MISSING: an exported workbook"
    status=1
    return
  fi
  # Debian's python3 has openpyxl (python3-openpyxl); another python3 first on PATH may not.
  local py
  py=$(command -v /usr/bin/python3 || command -v python3)
  "$py" tests/export/read_workbook.py "$lin_dir/calls.xlsx" > "$work/xlsx.linux"
  "$py" tests/export/read_workbook.py "$win_dir/calls.xlsx" | sed "s|$(tr / '\\' <<< "$win_dir" | sed 's/\\/\\\\\\\\/g')|$lin_dir|g" > "$work/xlsx.windows"
  if cmp -s "$work/xlsx.linux" "$work/xlsx.windows"; then
    echo "same: the exported workbooks' cells"
  else
    echo "DIFFERENT: the exported workbooks"
    diff "$work/xlsx.linux" "$work/xlsx.windows" | head -20 || true
    status=1
  fi
}
compare_workbooks

echo "-- orvik-cli.exe with Wine's heap checks"
# With mingw-w64 a thread_local's destructor runs, as its thread ends, on storage that has
# already been freed: the rows of query and export are taken on a thread of their own and
# the search's backups are read on the pool's. Wine's heap checks fill a freed block at
# once, so such a use ends the program every time instead of now and then.
win_cli=(env WINEDEBUG=-all,warn+heap scripts/wine-run.sh "$work/win-bin/orvik-cli.exe")
samples_for heap
compare heap-query query {}/2009-12
compare heap-query-json query {}/2010-01 --format json
compare heap-search search --root {}
compare heap-stats stats {}/2009-12 --by day
compare heap-export export {}/2010-01 --output {}/calls.xlsx
compare_workbooks


echo "== The installer under Wine, for the current user"
version=$(sed -n 's/^project(Orvik VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
setup=$win/orvik-$version-setup.exe
[[ -f $setup ]] || { echo "$setup is missing: run scripts/build-windows.sh" >&2; exit 2; }
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
unset WINEPATH
"$wine" wineboot -i > "$work/wineboot.log" 2>&1
"$wineserver" -w

check() {
  if eval "$1"; then
    echo "ok: $2"
  else
    echo "FAILED: $2"
    status=1
  fi
}
# A folder the Windows way (an environment variable of the prefix), and the same on Linux.
windows_folder() { "$wine" cmd /c echo "%$1%" | tr -d '\r'; }
unix_path() { realpath -m "$("$wine" winepath -u "$1" 2> /dev/null | tr -d '\r')"; }
# One value of the uninstall registration: `registered HKCU DisplayName`.
registered() {
  "$wine" reg query "$1\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvik" /v "$2" 2> /dev/null |
    tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
# Runs an uninstall command as registered: "C:\...\uninstall.exe" /S /CurrentUser.
run_registered() {
  local exe
  exe=$(sed -n 's/^"\([^"]*\)".*/\1/p' <<< "$1")
  # The options after the quoted program, split at blanks.
  # shellcheck disable=SC2086
  "$wine" "$exe" ${1#\"$exe\"}
}
# What the setup installed into $1 besides its uninstaller, against what it was made from.
same_files() {
  diff <(cd "$win/setup/Orvik" && find . -type f | sort) <(cd "$1" && find . -type f ! -name uninstall.exe | sort) > /dev/null &&
    [[ -f $1/uninstall.exe ]]
}
# Every file of the prefix with Orvik in its path (the programs' own and the user's), with
# the prefix's root left out.
orvik_files() { (cd "$WINEPREFIX/drive_c" && find . -ipath '*orvik*' -type f | sort); }

local_data=$(windows_folder LOCALAPPDATA)
roaming=$(unix_path "$(windows_folder APPDATA)")
inst_win="$local_data\\Programs\\Orvik"
inst=$(unix_path "$inst_win")
local_data=$(unix_path "$local_data")
"$wine" "$setup" /S /CurrentUser
"$wineserver" -w
check 'same_files "$inst"' "the staged files are installed in %LOCALAPPDATA%\\Programs\\Orvik, with uninstall.exe"
check '[[ -f "$roaming/Microsoft/Windows/Start Menu/Programs/Orvik.lnk" ]]' "the Start-menu entry"
check '[[ $(registered HKCU DisplayName) == Orvik && $(registered HKCU DisplayVersion) == "$version" ]]' \
      "Apps & features lists Orvik $version (HKCU)"
check '[[ $(registered HKCU Publisher) == "Orvik developers" ]]' "the publisher"
check '[[ $(registered HKCU DisplayIcon) == "$inst_win\\bin\\orvik.exe,0" ]]' "the icon: $(registered HKCU DisplayIcon)"
check '[[ $(registered HKCU InstallLocation) == "$inst_win" ]]' "the folder"
size_kb=$(du -sk "$inst" | cut -f1)
registered_kb=$(($(registered HKCU EstimatedSize)))
check '((registered_kb > size_kb * 9 / 10 && registered_kb < size_kb * 11 / 10))' \
      "the size: $registered_kb KiB registered, $size_kb KiB on disk"
check '[[ $(registered HKCU UninstallString) == "\"$inst_win\\uninstall.exe\" /CurrentUser" ]]' "the uninstall command"
quiet=$(registered HKCU QuietUninstallString)
check '[[ $quiet == "\"$inst_win\\uninstall.exe\" /S /CurrentUser" ]]' "the silent uninstall command"
# Version resources: what Explorer shows in the file's properties (UTF-16 strings).
for exe in orvik orvik-cli; do
  check 'python3 - "$inst/bin/$exe.exe" "$version" "$exe" <<'"'"'PY'"'"'
import sys
data = open(sys.argv[1], "rb").read()
version, name = sys.argv[2], sys.argv[3]
for key, value in (("ProductName", "Orvik"), ("FileVersion", version), ("OriginalFilename", name + ".exe"),
                   ("CompanyName", "Orvik developers")):
    if (key + "\0").encode("utf-16-le") not in data or (value + "\0").encode("utf-16-le") not in data:
        sys.exit(1)
PY' "$exe.exe carries Orvik's version resource ($version)"
  check 'x86_64-w64-mingw32-windres -i "$inst/bin/$exe.exe" -O rc | grep "^1 14 /\* RT_GROUP_ICON \*/" > /dev/null' \
        "$exe.exe carries Orvik's icon"
done

echo "-- the installed orvik-cli.exe (only the installed DLLs) against the Linux orvik-cli"
# The user's own settings, where an installed Orvik reads them: English texts.
mkdir -p "$local_data/orvik"
printf '[config]\r\nm_language=1\r\n' > "$local_data/orvik/config.ini"
win_cli=("$wine" "$inst_win\\bin\\orvik-cli.exe")
samples_for installed
compare installed-backups backups --root {}
compare installed-query query {}/2009-12
compare installed-chinese query {}/2009-12 --language 0
compare installed-delete delete {}/2009-12 3 --yes
compare installed-export export {}/2010-01 --output {}/calls.xlsx
compare_workbooks
check '[[ -f $local_data/orvik/sample.xlsx ]]' "the export made the user's template from the installed one"

echo "-- the pane's sound test on the installed DLLs"
# The test program with only what the installation lacks beside it: Qt Test and the
# offscreen platform; everything else comes from the installation's bin folder.
mkdir -p "$work/pane/platforms"
cp "$win/tests/tst_playerpane.exe" "$work/pane/"
W=${ORVIK_WIN_CACHE:-$HOME/.cache/orvik-win}
cp "$W/qt6-win64/bin/Qt6Test.dll" "$work/pane/"
cp "$W/qt6-win64/plugins/platforms/qoffscreen.dll" "$work/pane/platforms/"
WINEPATH="$inst_win\\bin" "$wine" "$work/pane/tst_playerpane.exe" playsWhatWasDecoded -platform offscreen \
  -o "$work/pane/result.txt,txt" > /dev/null 2>&1 || true
grep -E "^(QINFO|PASS|FAIL|SKIP|Totals)|correlation|places shown" "$work/pane/result.txt" 2> /dev/null || true
check 'grep -q "^Totals: 4 passed, 0 failed, 0 skipped" "$work/pane/result.txt"' \
      "the pane plays into the null sink at 1x and 2x with the installed DLLs"

echo "-- silent uninstall"
# Files of the user's: a config.ini beside the program (read before the user's own), and the
# remembered windows (%APPDATA%\orvik\windows.ini, written by the windows when they close).
printf '[config]\r\nm_language=0\r\n' > "$inst/bin/config.ini"
mkdir -p "$roaming/orvik"
printf '[QueryWindow]\r\ngeometry=@Rect(10 10 800 600)\r\n' > "$roaming/orvik/windows.ini"
(cd "$WINEPREFIX/drive_c" && for f in "$local_data/orvik/config.ini" "$local_data/orvik/sample.xlsx" \
  "$roaming/orvik/windows.ini" "$inst/bin/config.ini"; do echo "./${f#"$WINEPREFIX/drive_c/"}"; done | sort) > "$work/users-files"
run_registered "$quiet"
"$wineserver" -w
check 'orvik_files | cmp -s - "$work/users-files"' "only the user's files remain: $(orvik_files | tr '\n' ' ')"
check '[[ ! -e "$roaming/Microsoft/Windows/Start Menu/Programs/Orvik.lnk" ]]' "the Start-menu entry is gone"
check '[[ -z $(registered HKCU DisplayName) ]]' "the uninstall registration is gone"

echo "== The installer under Wine, for all users (Wine runs programs elevated)"
"$wine" "$setup" /S
"$wineserver" -w
inst_win=$(registered HKLM InstallLocation)
inst=$(unix_path "$inst_win")
check '[[ $inst_win == "C:\\Program Files\\Orvik" ]]' "installed in $inst_win"
check 'same_files "$inst"' "the staged files are installed"
check '[[ -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Orvik.lnk" ]]' "the Start-menu entry for all users"
check '[[ $(registered HKLM DisplayVersion) == "$version" && -z $(registered HKCU DisplayName) ]]' "Apps & features lists Orvik $version (HKLM)"
run_registered "$(registered HKLM QuietUninstallString)"
"$wineserver" -w
check '[[ ! -e $inst && -z $(registered HKLM DisplayName) ]]' "the silent uninstall removes the folder and the registration"
check '[[ ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Orvik.lnk" ]]' "and the Start-menu entry"
"$wineserver" -k 2> /dev/null || true
exit $status
