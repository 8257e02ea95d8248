#!/usr/bin/env bash
# Tests the Windows build (scripts/build-windows.sh) under Wine:
#   1. every test executable of build-win/ through ctest, which runs them with Wine
#      (CMAKE_CROSSCOMPILING_EMULATOR); GUI tests on Qt's offscreen platform. Wine shows no
#      QTest output, so each test also writes it to build-win/tests/results/<test>.txt,
#      printed here for every test that fails;
#   2. orvik-cli.exe against the Linux build's orvik-cli (build/, made by scripts/setup.sh)
#      on copies of the sample backups: listing, queries, SQL, the checker, a delete and an
#      export must give the same output, paths aside.
#
#   scripts/test-windows.sh [ctest arguments]     e.g. -R tst_jetfile
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
win=$root/build-win
[[ -x $win/bin/orvik-cli.exe ]] || { echo "build-win/ is missing: run scripts/build-windows.sh first" >&2; exit 2; }
[[ -x build/bin/orvik-cli ]] || scripts/setup.sh
status=0

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

echo "== orvik-cli.exe against the Linux orvik-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r samples/Rec "$work/linux"
cp -r samples/Rec "$work/windows"
# Both read their settings beside the executable: English texts for both.
mkdir -p "$work/lin-bin" "$work/win-bin"
cp -r build/bin/orvik-cli build/bin/language "$work/lin-bin/"
cp -r "$win/bin/orvik-cli.exe" "$win/bin/language" "$work/win-bin/"
printf '[config]\r\nm_language=1\r\n' | tee "$work/lin-bin/config.ini" > "$work/win-bin/config.ini"
winroot="Z:$(tr / '\\' <<< "$work/windows")"

# The same command on both; {} stands for the copy of the samples each works on.
compare() {
  local name=$1
  shift
  local lin=() wout=() a
  for a in "$@"; do
    lin+=("${a//\{\}/$work/linux}")
    wout+=("${a//\{\}/$winroot}")
  done
  for ((i = 0; i < ${#wout[@]}; ++i)); do
    [[ ${wout[i]} == "$winroot"* ]] && wout[i]=$(tr / '\\' <<< "${wout[i]}")
  done
  local lcode=0 wcode=0
  "$work/lin-bin/orvik-cli" "${lin[@]}" > "$work/$name.linux" 2>&1 < /dev/null || lcode=$?
  scripts/wine-run.sh "$work/win-bin/orvik-cli.exe" "${wout[@]}" > "$work/$name.raw" 2>&1 < /dev/null || wcode=$?
  # Paths aside: the Windows root and separators become the Linux ones; CR LF becomes LF.
  python3 - "$work/$name.raw" "$winroot" "$work/windows" "$work/linux" > "$work/$name.windows" <<'PY'
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
if [[ -f $work/linux/calls.xlsx && -f $work/windows/calls.xlsx ]]; then
  # Debian's python3 has openpyxl (python3-openpyxl); another python3 first on PATH may not.
  py=$(command -v /usr/bin/python3 || command -v python3)
  "$py" tests/export/read_workbook.py "$work/linux/calls.xlsx" > "$work/xlsx.linux"
  "$py" tests/export/read_workbook.py "$work/windows/calls.xlsx" | sed "s|$(tr / '\\' <<< "$work/windows" | sed 's/\\/\\\\\\\\/g')|$work/linux|g" > "$work/xlsx.windows"
  if cmp -s "$work/xlsx.linux" "$work/xlsx.windows"; then
    echo "same: the exported workbooks' cells"
  else
    echo "DIFFERENT: the exported workbooks"
    diff "$work/xlsx.linux" "$work/xlsx.windows" | head -20 || true
    status=1
  fi
fi
exit $status
