#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, with the folders of the Qt and
# compiler-runtime DLLs on its path. CMake uses it as CMAKE_CROSSCOMPILING_EMULATOR, so the
# build's own tools and ctest run the .exe files through it. Wine does not hand the
# program environment variables named QT_*: GUI programs take `-platform offscreen`.
set -euo pipefail
W=${ORVIK_WIN_CACHE:-$HOME/.cache/orvik-win}
export WINEPREFIX=${WINEPREFIX:-$W/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPATH="$W/qt6-win64/bin;/usr/lib/gcc/x86_64-w64-mingw32/12-posix;/usr/x86_64-w64-mingw32/lib"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
exec "$wine" "$@"
