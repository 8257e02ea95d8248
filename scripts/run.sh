#!/usr/bin/env bash
# Sets up and builds Orvik (scripts/setup.sh), then runs it on the sample backups.
# The samples are copied into build/run/ first, so deleting a backup or a call in Orvik
# never touches the copies kept in the source tree.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
mkdir -p build/run
[[ -d build/run/Rec ]] || cp -r samples/Rec build/run/Rec
build/bin/orvik-cli backups --root build/run/Rec "$@"
