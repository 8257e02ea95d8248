#!/bin/sh
# Fills a working corpus for fuzz_jetfile: the few small files kept beside this script,
# every .mdb of the shared fixtures (when that folder is present), the sample backups and
# the 3000-row test database. Usage: gather-corpus.sh <dir> [fixtures dir]
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:?usage: gather-corpus.sh <dir> [fixtures dir]}
fixtures=${2:-$root/../shared/fixtures}
[ -d "$fixtures" ] && fixtures=$(cd "$fixtures" && pwd)
mkdir -p "$out"
n=0
copy() {
    # Names are made unique from the path, since most backups call their file dbR.mdb.
    name=$(echo "$1" | sed "s|^$root/||; s|^$fixtures/||; s|/|__|g")
    cp "$1" "$out/$name"
    chmod u+w "$out/$name"
    n=$((n + 1))
}
for f in "$here"/corpus-jet/*.mdb "$root"/samples/Rec/*/dbR.mdb "$root"/tests/data/*/dbR.mdb; do
    [ -f "$f" ] && copy "$f"
done
if [ -d "$fixtures" ]; then
    for f in $(find "$fixtures" -name '*.mdb' | sort); do
        copy "$f"
    done
fi
echo "$n files in $out"
