#!/usr/bin/env bash
# Cross-compiles orvik.exe and orvik-cli.exe for 64-bit Windows with Debian's mingw-w64 and
# packs build-win/orvik-<version>-win64.zip (the portable folder) and
# build-win/orvik-<version>-setup.exe (the installer, made with Debian's NSIS).
#
#   scripts/build-windows.sh            everything (the first run builds Qt: about 30-120 min)
#   scripts/build-windows.sh --deps     only the libraries for the target (Qt with Qt Shader
#                                       Tools, Qt Multimedia and Qt Charts, TinyXML, libzip,
#                                       uchardet, libsndfile)
#
# Everything built outside Orvik lives in ORVIK_WIN_CACHE (default ~/.cache/orvik-win), so a
# second run only rebuilds Orvik. Debian packages no Qt for mingw: qtbase 6.4.2, the other Qt
# modules, TinyXML, libzip, uchardet and libsndfile are built from Debian's own source
# packages, with Debian's Qt 6.4.2 as host tools.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
W=${ORVIK_WIN_CACHE:-$HOME/.cache/orvik-win}
triple=x86_64-w64-mingw32
prefix=$W/prefix            # TinyXML, libzip, uchardet (zlib comes from libz-mingw-w64-dev)
qt=$W/qt6-win64
mkdir -p "$W"

install_packages() {
  # qt6-shadertools-dev gives the host's qsb, which Qt Multimedia's build runs; nsis makes
  # the installer.
  local packages=(g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev wine64 ninja-build
                  cmake qt6-base-dev qt6-base-dev-tools qt6-tools-dev-tools qt6-shadertools-dev
                  dpkg-dev zip xz-utils nsis)
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    local sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# apt-get with a private sources list that adds deb-src lines for Debian's archive, so the
# system's own apt configuration is never changed.
private_apt() {
  local etc=$W/apt/etc
  if [[ ! -f $etc/sources.list ]]; then
    mkdir -p "$etc" "$W/apt/lists/partial"
    local src
    for src in /etc/apt/sources.list.d/*.sources; do
      sed -n 's/^Types: deb$/Types: deb-src/;p' "$src"
      echo
    done > "$etc/sources.sources.tmp"
    mkdir -p "$etc/sources.list.d"
    mv "$etc/sources.sources.tmp" "$etc/sources.list.d/debian-src.sources"
    : > "$etc/sources.list"
  fi
  apt-get -o Dir::Etc::SourceList="$etc/sources.list" -o Dir::Etc::SourceParts="$etc/sources.list.d" \
          -o Dir::State::Lists="$W/apt/lists" -o Debug::NoLocking=1 "$@"
}

# Fetches and unpacks Debian's source package $1 (with Debian's patches applied) into
# $W/src/$1 and prints the unpacked folder; fails when the source cannot be fetched (the
# next run tries again).
debian_source() {
  local pkg=$1 dir=$W/src/$1
  if [[ ! -f $dir/.unpacked ]]; then
    rm -rf "$dir" && mkdir -p "$dir"
    [[ -f $W/apt/.updated ]] || { private_apt update -qq >&2 && touch "$W/apt/.updated"; }
    (cd "$dir" && private_apt source -qq "$pkg" >&2) || { rm -rf "$dir"; return 1; }
    touch "$dir/.unpacked"
  fi
  find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n 1
}

write_toolchain() {
  cat > "$W/mingw64-toolchain.cmake" <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER   /usr/bin/$triple-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/$triple-g++-posix)
set(CMAKE_RC_COMPILER  /usr/bin/$triple-windres)
set(CMAKE_AR           /usr/bin/$triple-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB       /usr/bin/$triple-gcc-ranlib-posix CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/$triple $prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(PKG_CONFIG_EXECUTABLE /usr/bin/$triple-pkg-config CACHE FILEPATH "")
TOOLCHAIN
}

build_qt() {
  [[ -f $qt/.built ]] && return
  local src
  src=$(debian_source qt6-base)
  cmake -G Ninja -S "$src" -B "$W/build-qt" \
    -DCMAKE_TOOLCHAIN_FILE="$W/mingw64-toolchain.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$qt" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_accessibility=OFF \
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_opengl_dynamic=OFF -DFEATURE_dynamicgl=OFF \
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF \
    -DFEATURE_openssl=OFF -DFEATURE_zstd=OFF -DFEATURE_brotli=OFF -DFEATURE_icu=OFF -DFEATURE_glib=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF \
    -DFEATURE_testlib=ON -DFEATURE_concurrent=ON -DFEATURE_network=ON -DFEATURE_widgets=ON -DFEATURE_gui=ON
  cmake --build "$W/build-qt" --parallel "$(nproc)"
  cmake --install "$W/build-qt"
  touch "$qt/.built"
}

# qt_module NAME SOURCE-PACKAGE [cmake options...]: one more Qt module, configured with the
# cross-built qtbase's qt-cmake (its toolchain, Debian's host tools), built and installed
# into the same Qt prefix, where find_package(Qt6 COMPONENTS ...) finds it.
qt_module() {
  local name=$1 pkg=$2 src
  shift 2
  [[ -f $qt/.built-$name ]] && return
  src=$(debian_source "$pkg")
  echo "Building Qt's $name for Windows (log: $W/build-$name.log)"
  "$qt/bin/qt-cmake" -G Ninja -S "$src" -B "$W/build-$name" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$qt" -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF "$@" > "$W/build-$name.log"
  cmake --build "$W/build-$name" --parallel "$(nproc)" >> "$W/build-$name.log"
  cmake --install "$W/build-$name" >> "$W/build-$name.log"
  touch "$qt/.built-$name"
}

# case_headers SOURCE-PACKAGE: a folder of headers that forward each header the package
# includes in another letter case than mingw-w64 or Qt spell it (<Mferror.h> for mferror.h,
# "QUrl.h" for qurl.h: Windows finds either, Linux only the one) to the real one; prints the
# folder.
case_headers() {
  local src dir=$W/case-headers/$1 name real
  local include_dirs=("/usr/$triple/include" "$qt"/include/*/)
  src=$(debian_source "$1")
  rm -rf "$dir" && mkdir -p "$dir"
  grep -rhoE '#\s*include\s*[<"][A-Za-z0-9_]+\.h[>"]' --include='*.cpp' --include='*.h' "$src/src" |
    sed -E 's/#\s*include\s*[<"]//; s/[>"]$//' | sort -u | while read -r name; do
      [[ -n $(find "${include_dirs[@]}" -maxdepth 1 -name "$name" -print -quit) ]] && continue
      [[ -n $(find "$src/src" -name "$name" -print -quit) ]] && continue
      real=$(find "${include_dirs[@]}" -maxdepth 1 -iname "$name" -printf '%f\n' | head -n 1)
      if [[ -n $real ]]; then
        printf '#include <%s>\n' "$real" > "$dir/$name"
      fi
    done
  echo "$dir"
}

# Qt Multimedia for the player pane: only its Windows backend (WASAPI output, Media
# Foundation), no FFmpeg, no GStreamer; QML and Quick are not built in this Qt, so their
# parts stay out by themselves. Its build compiles video shaders with qsb and so needs Qt
# Shader Tools for the target first. Qt looks for some Media Foundation libraries by names
# in capitals (Mf, Mfplat, ...), which only a Windows file system finds: they are named here,
# as mingw-w64 spells them, or the whole Windows backend would be left out (FEATURE_wmf=ON
# makes the configuration fail instead).
build_multimedia() {
  qt_module shadertools qt6-shadertools
  local lib=/usr/$triple/lib headers src
  headers=$(case_headers qt6-multimedia)
  # Qt 6.4.2 asks QSystemLibrary for "Mfplat.dll", which adds ".dll" once more, so Media
  # Foundation never loads and an output whose format is not the device's own (a recording
  # at 8 kHz into a 48 kHz mixer) fails with "Failed to set up resampler". The name without
  # the suffix, as the other QSystemLibrary users spell it.
  src=$(debian_source qt6-multimedia)
  sed -i 's/m_mfplat(QStringLiteral("Mfplat\.dll"))/m_mfplat(QStringLiteral("Mfplat"))/' \
    "$src/src/multimedia/windows/qwindowsmediafoundation_p.h"
  qt_module multimedia qt6-multimedia -DCMAKE_CXX_FLAGS="-I$headers" -DFEATURE_ffmpeg=OFF -DINPUT_gstreamer=no -DFEATURE_gstreamer=OFF \
    -DFEATURE_pulseaudio=OFF -DFEATURE_alsa=OFF -DFEATURE_spatialaudio=OFF -DFEATURE_spatialaudio_quick3d=OFF \
    -DWMF_MF_LIBRARY=$lib/libmf.a -DWMF_MFUUID_LIBRARY=$lib/libmfuuid.a -DWMF_MFPLAT_LIBRARY=$lib/libmfplat.a \
    -DWMF_MFCORE_LIBRARY=$lib/libmfcore.a -DWMF_PROPSYS_LIBRARY=$lib/libpropsys.a -DFEATURE_wmf=ON
}

# Qt Charts, for find_package(Qt6 COMPONENTS Charts) in this build. Orvik does not need it
# yet, so a source that cannot be fetched is said and passed over.
build_charts() {
  [[ -f $qt/.built-charts ]] && return
  if ! debian_source qt6-charts > /dev/null; then
    echo "warning: Debian's source of qt6-charts could not be fetched; building without Qt Charts" >&2
    return 0
  fi
  qt_module charts qt6-charts
}

# The libraries below are built static, so the zip carries no DLL of theirs; their
# pkg-config files are read with --static (see build_orvik), which brings in what they link.

build_tinyxml() {
  [[ -f $prefix/lib/pkgconfig/tinyxml.pc ]] && return
  local src obj=$W/build-tinyxml
  src=$(debian_source tinyxml)
  rm -rf "$obj" && mkdir -p "$obj" "$prefix/lib/pkgconfig" "$prefix/include"
  # The same three objects and the same define as Debian's own build (debian/rules).
  local f
  for f in tinyxml tinyxmlparser tinyxmlerror; do
    "$triple-g++-posix" -O2 -DTIXML_USE_STL -c "$src/$f.cpp" -o "$obj/$f.o"
  done
  "$triple-gcc-ar-posix" rcs "$prefix/lib/libtinyxml.a" "$obj"/*.o
  install -m 644 "$src/tinyxml.h" "$prefix/include/"
  sed -e "s|^prefix=.*|prefix=$prefix|" -e 's|/${DEB_HOST_MULTIARCH}||' \
      -e "s|\${DEB_VERSION_UPSTREAM}|${src##*-}|" "$src/debian/tinyxml.pc.in" > "$prefix/lib/pkgconfig/tinyxml.pc"
}

# cmake_dependency NAME SOURCE [cmake options...]: configures, builds and installs one
# CMake-built library into $prefix with the mingw toolchain.
cmake_dependency() {
  local name=$1 src=$2
  shift 2
  cmake -G Ninja -S "$src" -B "$W/build-$name" -DCMAKE_TOOLCHAIN_FILE="$W/mingw64-toolchain.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_SHARED_LIBS=OFF "$@" > "$W/build-$name.log"
  cmake --build "$W/build-$name" --parallel "$(nproc)" >> "$W/build-$name.log"
  cmake --install "$W/build-$name" >> "$W/build-$name.log"
}

build_libzip() {
  [[ -f $prefix/lib/pkgconfig/libzip.pc ]] && return
  local src
  src=$(debian_source libzip)
  # Only deflate: Orvik writes and reads plain .xlsx packages, never encrypted ones.
  cmake_dependency libzip "$src" -DZLIB_LIBRARY=/usr/$triple/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$triple/include \
    -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF \
    -DENABLE_WINDOWS_CRYPTO=OFF -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
  # A static libzip must not be declared dllimport by its header, and it takes zlib's static
  # archive too (a plain -lz would find zlib's import library first and need zlib1.dll).
  sed -i -e 's|^Cflags: \(.*\)|Cflags: \1 -DZIP_STATIC|' -e 's|-lz\b|-l:libz.a|' "$prefix/lib/pkgconfig/libzip.pc"
}

# libsndfile with its own codecs only (PCM, u-law, A-law, IMA and MS ADPCM, GSM 6.10, ...):
# no FLAC, Vorbis, Opus or MPEG, so it links nothing beyond the C library.
build_sndfile() {
  [[ -f $prefix/lib/pkgconfig/sndfile.pc ]] && return
  local src
  src=$(debian_source libsndfile)
  cmake_dependency sndfile "$src" -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF \
    -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_REGTEST=OFF -DENABLE_CPACK=OFF -DENABLE_PACKAGE_CONFIG=OFF \
    -DINSTALL_MANPAGES=OFF
}

build_uchardet() {
  [[ -f $prefix/lib/pkgconfig/uchardet.pc ]] && return
  local src
  src=$(debian_source uchardet)
  cmake_dependency uchardet "$src" -DBUILD_BINARY=OFF
}

# Orvik itself, with its tests (scripts/test-windows.sh runs them under Wine), the player
# pane among them; the build's own tools (the workbook packer) run under Wine too.
build_orvik() {
  local launcher=()
  command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  "$qt/bin/qt-cmake" -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" -DPKG_CONFIG_ARGN=--static \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh" \
    -DORVIK_BUILD_BENCH=OFF -DORVIK_PLAYER=ON "${launcher[@]}"
  cmake --build "$build" --parallel "$(nproc)"
}

# The DLLs a program or library loads that come with Qt or the compiler, found by reading
# its import table, and theirs in turn. The system's own DLLs are not in these folders.
dll_dirs=("$qt/bin" "/usr/lib/gcc/$triple/12-posix" "/usr/$triple/lib")
copy_dlls() {
  local file=$1 dest=$2 name dir
  for name in $("$triple-objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
    [[ -f $dest/$name ]] && continue
    for dir in "${dll_dirs[@]}"; do
      if [[ -f $dir/$name ]]; then
        cp "$dir/$name" "$dest/"
        copy_dlls "$dir/$name" "$dest"
        break
      fi
    done
  done
}

# stage_programs DIR: the two executables with the plugins and DLLs they need, in DIR.
# Qt Multimedia 6.4 has its Windows audio output built in: no plugin to add for playing.
stage_programs() {
  local dir=$1 f
  mkdir -p "$dir/platforms" "$dir/styles"
  cp "$build/bin/orvik.exe" "$build/bin/orvik-cli.exe" "$dir/"
  cp "$qt/plugins/platforms/qwindows.dll" "$dir/platforms/"
  cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$dir/styles/"
  for f in "$dir"/*.exe "$dir"/platforms/*.dll "$dir"/styles/*.dll; do
    copy_dlls "$f" "$dir"
  done
}

version=$(sed -n 's/^project(Orvik VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

# The portable folder: everything beside the executables, config.ini with the defaults.
pack_zip() {
  local name=orvik-$version-win64
  local stage=$build/$name
  rm -rf "$stage" "$build/$name.zip"
  stage_programs "$stage"
  mkdir -p "$stage/language"
  cp "$root"/language/*.xml "$stage/language/"
  cp "$build/src/export/sample.xlsx" "$stage/"
  # The settings with their defaults: Turkish texts (m_language=-1 follows the system),
  # the backups below the program folder, Windows Media Player.
  printf '[config]\r\nm_language=3\r\nm_BackDir=\r\nm_PlayerType=0\r\n' > "$stage/config.ini"
  (cd "$build" && zip -qr "$name.zip" "$name")
  echo "$build/$name.zip"
}

# The installer: the installed layout (bin\ and share\orvik\, as `cmake --install` lays it
# out), so the language files and the template come from the installation and the user's
# config.ini and editable template live in the user's folders (%LOCALAPPDATA%\orvik).
pack_setup() {
  local setup=$build/setup stage=$build/setup/Orvik out=$build/orvik-$version-setup.exe
  rm -rf "$setup" "$out"
  stage_programs "$stage/bin"
  mkdir -p "$stage/share/orvik/language"
  cp "$root"/language/*.xml "$stage/share/orvik/language/"
  cp "$build/src/export/sample.xlsx" "$stage/share/orvik/"
  sed 's/$/\r/' "$root/LICENSE" > "$stage/LICENSE.txt"
  # What the uninstaller removes: every staged file, then every staged folder, deepest first
  # (RMDir leaves a folder that still holds something of the user's).
  (
    cd "$stage"
    find . -type f | sort | sed -e 's|^\./||' -e 's|/|\\|g' -e 's|.*|  Delete "$INSTDIR\\&"|'
    find . -mindepth 1 -type d | sort -r | sed -e 's|^\./||' -e 's|/|\\|g' -e 's|.*|  RMDir "$INSTDIR\\&"|'
  ) > "$setup/uninstall-list.nsh"
  makensis -V2 -INPUTCHARSET UTF8 -DSTAGE="$stage" -DSETTINGS="$build/packaging/windows/version.nsh" \
    -DUNINSTALL_LIST="$setup/uninstall-list.nsh" -DOUTFILE="$out" "$root/packaging/windows/orvik.nsi"
  echo "$out"
}

build=$root/build-win
install_packages
write_toolchain
build_qt
build_multimedia
build_charts
build_tinyxml
build_libzip
build_uchardet
build_sndfile
[[ ${1:-} == --deps ]] && exit 0
build_orvik
pack_zip
pack_setup
