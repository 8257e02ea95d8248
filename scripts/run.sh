#!/usr/bin/env bash
# Sets up and builds the two programs only (scripts/setup.sh --programs: orvik, orvik-cli
# and their libraries, not the tests and benchmarks), then runs it on the sample backups with the
# English texts. The samples are copied into build/run/ first, so deleting a backup or a
# call in Orvik never touches the copies kept in the source tree; build/bin/config.ini is
# written once to point at them (edit it to try other settings).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --programs
mkdir -p build/run
[[ -d build/run/Rec ]] || cp -r samples/Rec build/run/Rec
if [[ ! -f build/bin/config.ini ]]; then
  printf '[config]\r\nm_language=1\r\nm_BackDir=%s\r\nm_PlayerType=0\r\n' "$PWD/build/run/Rec" > build/bin/config.ini
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display to show Orvik's windows on; here is the backup catalogue from orvik-cli instead:"
  exec build/bin/orvik-cli backups
fi
exec build/bin/orvik "$@"
