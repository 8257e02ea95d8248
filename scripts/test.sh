#!/usr/bin/env bash
# Sets up and builds Orvik (scripts/setup.sh --tests), then runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests
cd build
ctest --output-on-failure --parallel "$(nproc)" "$@"
