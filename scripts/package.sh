#!/usr/bin/env bash
# Builds the Debian package of Orvik with CPack (build/orvik_<version>_<arch>.deb) and
# checks it with lintian, which must find no errors. Install the package with
#   sudo apt install ./build/orvik_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --package
cd build
rm -f orvik_*.deb
cpack -G DEB
deb=$(ls orvik_*.deb)
dpkg-deb --info "$deb"
# Warnings and notes are shown; only errors fail.
lintian --display-info --fail-on error "$deb"
echo "Built and checked build/$deb"
