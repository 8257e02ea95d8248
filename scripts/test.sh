#!/usr/bin/env bash
# Sets up and builds Orvik (scripts/setup.sh --tests), then runs the whole test suite.
#   scripts/test.sh              the build in build/
#   scripts/test.sh --sanitize   the same suite built once more into build-asan/ with
#                                AddressSanitizer and UndefinedBehaviorSanitizer (-O1, without
#                                the benchmarks, and without Qt Charts, so that the table
#                                the statistics view shows in its place, as on Windows, is
#                                tested too); any report fails the test that made it
# Further arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests
if [[ "${1:-}" == "--sanitize" ]]; then
  shift
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
        -DORVIK_SANITIZE=ON -DORVIK_BUILD_BENCH=OFF -DORVIK_CHARTS=OFF
  cmake --build build-asan --parallel "$(nproc)"
  # Leaks are not checked: the libraries below Qt's offscreen windows keep caches for the
  # process's life, which LeakSanitizer would report from every window test.
  export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:strict_string_checks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  cd build-asan
else
  cd build
fi
ctest --output-on-failure --parallel "$(nproc)" "$@"
