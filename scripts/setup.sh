#!/usr/bin/env bash
# Installs the Debian packages Orvik needs (only those missing) and builds it into build/.
#   scripts/setup.sh            packages to build and run Orvik
#   scripts/setup.sh --tests    also the packages the test suite reads its results with
#   scripts/setup.sh --package  also the packages that build and check the Debian package
#   scripts/setup.sh --programs the packages to build and run Orvik, and only the programs
#                               (orvik, orvik-cli and their libraries) built, not the tests
#                               and benchmarks
set -euo pipefail
cd "$(dirname "$0")/.."

# libsndfile and Qt Multimedia are for the player pane of the query window; Qt Charts (whose
# CMake files need Qt OpenGL's, which Debian 12 does not pull in) for the statistics view.
# Without them Orvik builds all the same, without the pane or the view.
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libtinyxml-dev libzip-dev libuchardet-dev
          libsndfile1-dev qt6-multimedia-dev qt6-charts-dev libqt6opengl6-dev fonts-wqy-microhei xz-utils)
if [[ "${1:-}" == "--tests" ]]; then
  # openpyxl reads exported workbooks back; mdbtools is the independent reader that
  # changed databases are checked with; the validators check the installed desktop entry
  # and AppStream metadata; the player's tests play into a PulseAudio server of their own
  # (a null sink), and the pane's test records it with parec.
  packages+=(python3 python3-openpyxl mdbtools desktop-file-utils appstream pulseaudio pulseaudio-utils)
elif [[ "${1:-}" == "--package" ]]; then
  # dpkg-shlibdeps (dpkg-dev, which needs file) computes the package's dependencies.
  packages+=(dpkg-dev file lintian)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [[ "${1:-}" == "--programs" ]]; then
  # One line says what happens; the configure and build output goes to build/build.log,
  # whose end is shown only when something fails.
  echo "Building orvik and orvik-cli into build/ (the first build takes a few minutes; log: build/build.log)..."
  mkdir -p build
  if ! { cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
         cmake --build build --parallel "$(nproc)" --target orvik orvik-cli; } > build/build.log 2>&1; then
    tail -n 40 build/build.log
    echo "The build failed; the whole log is build/build.log." >&2
    exit 1
  fi
else
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build --parallel "$(nproc)"
fi
