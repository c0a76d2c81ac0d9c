#!/usr/bin/env bash
# Installs what the build needs and builds the MinGW libraries once per machine.
# Everything is cached under $ORDAVIA_CACHE (default /var/cache/ordavia-build); a stamp per
# step makes a second run do nothing.
set -euo pipefail

CACHE=${ORDAVIA_CACHE:-/var/cache/ordavia-build}
mkdir -p "$CACHE"
SUDO=""
[ "$(id -u)" = 0 ] || SUDO="sudo"

log() { printf '[setup] %s\n' "$*" >&2; }

# --- Debian packages -------------------------------------------------------------------
PKGS="g++-mingw-w64-i686 binutils-mingw-w64-i686 libz-mingw-w64-dev wine wine32:i386 \
      googletest cmake make dpkg-dev unicode-data xz-utils"
apt_stamp="$CACHE/apt.stamp"
need_apt=0
if [ ! -f "$apt_stamp" ]; then need_apt=1; fi
if [ $need_apt = 0 ]; then
    for p in i686-w64-mingw32-g++ wine cmake; do command -v $p >/dev/null || need_apt=1; done
fi
if [ $need_apt = 1 ]; then
    log "installing Debian packages"
    # wine32:i386 must come from the same snapshot as wine: use a list that holds only the
    # main suites (the i386 index of the security suite can lag its amd64 index).
    srclist=/etc/apt/ordavia-build.list
    $SUDO tee "$srclist" >/dev/null <<'EOL'
deb http://deb.debian.org/debian bookworm main
deb http://deb.debian.org/debian bookworm-updates main
deb-src http://deb.debian.org/debian bookworm main
EOL
    APT=(apt-get -o "Dir::Etc::SourceList=$srclist" -o "Dir::Etc::SourceParts=-" -o "APT::Get::List-Cleanup=0")
    $SUDO dpkg --add-architecture i386
    $SUDO "${APT[@]}" update -qq
    $SUDO env DEBIAN_FRONTEND=noninteractive "${APT[@]}" install -y -qq --no-install-recommends $PKGS >/dev/null
    touch "$apt_stamp"
fi
APT=(apt-get -o "Dir::Etc::SourceList=/etc/apt/ordavia-build.list" -o "Dir::Etc::SourceParts=-" -o "APT::Get::List-Cleanup=0")

# --- expat and wxWidgets for MinGW ---------------------------------------------------------
JOBS=$(nproc)
src_version() { "${APT[@]}" source --print-uris "$1" 2>/dev/null | sed -n "s/.*'\(.*\)_\([^_]*\)\.dsc'.*/\2/p" | head -n1 | sed 's/%2[bB]/+/g; s/%3[aA]/-/g'; }

EXPAT_VER=$(cat "$CACHE/expat.version" 2>/dev/null || true)
if [ -z "$EXPAT_VER" ] || [ ! -f "$CACHE/mingw-expat-$EXPAT_VER/lib/libexpat.a" ]; then
    EXPAT_VER=$(src_version expat)
    [ -n "$EXPAT_VER" ] || { log "cannot find the expat source package"; exit 1; }
    PREFIX="$CACHE/mingw-expat-$EXPAT_VER"
    log "building expat $EXPAT_VER for MinGW"
    work="$CACHE/src-expat"; rm -rf "$work"; mkdir -p "$work"
    (cd "$work" && "${APT[@]}" source -qq expat >/dev/null 2>&1)
    dir=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'expat-*' | head -n1)
    [ -d "$dir/expat" ] && dir="$dir/expat"
    # The patched sources test "#if XML_DTD == 1", which the CMake config header leaves empty.
    sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$dir/expat_config.h.cmake"
    cmake -S "$dir" -B "$work/build" -DCMAKE_SYSTEM_NAME=Windows \
        -DCMAKE_C_COMPILER=i686-w64-mingw32-gcc -DCMAKE_RC_COMPILER=i686-w64-mingw32-windres \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" -DEXPAT_SHARED_LIBS=OFF \
        -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
        -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=ON >"$work/configure.log" 2>&1 \
        || { tail -n 40 "$work/configure.log" >&2; exit 1; }
    cmake --build "$work/build" -j"$JOBS" >"$work/make.log" 2>&1 || { tail -n 40 "$work/make.log" >&2; exit 1; }
    cmake --install "$work/build" >/dev/null
    # Name the library the way wx's configure looks for it.
    [ -f "$PREFIX/lib/libexpat.a" ] || cp "$(ls "$PREFIX"/lib/libexpat*.a | head -n1)" "$PREFIX/lib/libexpat.a"
    echo "$EXPAT_VER" > "$CACHE/expat.version"
    rm -rf "$work"
fi
EXPAT_PREFIX="$CACHE/mingw-expat-$EXPAT_VER"

WX_VER=$(cat "$CACHE/wx.version" 2>/dev/null || true)
if [ -z "$WX_VER" ] || [ ! -f "$CACHE/mingw-wx-$WX_VER/.complete" ]; then
    WX_VER=$(src_version wxwidgets3.2)
    [ -n "$WX_VER" ] || { log "cannot find the wxwidgets3.2 source package"; exit 1; }
    PREFIX="$CACHE/mingw-wx-$WX_VER"
    log "building wxWidgets $WX_VER (base + xml) for MinGW; this takes a few minutes"
    work="$CACHE/src-wx"; rm -rf "$work" "$PREFIX"; mkdir -p "$work"
    (cd "$work" && "${APT[@]}" source -qq wxwidgets3.2 >/dev/null 2>&1)
    dir=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'wxwidgets3.2-*' | head -n1)
    mkdir -p "$work/build"
    (cd "$work/build" && \
        CPPFLAGS="-I$EXPAT_PREFIX/include -I/usr/i686-w64-mingw32/include" \
        LDFLAGS="-L$EXPAT_PREFIX/lib" \
        "$dir/configure" --host=i686-w64-mingw32 --prefix="$PREFIX" \
            --disable-gui --enable-unicode --disable-shared --with-zlib=sys --with-expat=sys \
            --without-libcurl --disable-tests >"$work/configure.log" 2>&1 \
        || { tail -n 40 "$work/configure.log" >&2; exit 1; })
    make -C "$work/build" -j"$JOBS" >"$work/make.log" 2>&1 || { tail -n 40 "$work/make.log" >&2; exit 1; }
    make -C "$work/build" install >/dev/null 2>&1
    # The install leaves out this header, which wx/app.h needs on MSW.
    inc=$(ls -d "$PREFIX"/include/wx-3.2 2>/dev/null || true)
    mkdir -p "$inc/wx/msw" && cp "$dir/include/wx/msw/init.h" "$inc/wx/msw/init.h"
    echo "$WX_VER" > "$CACHE/wx.version"
    touch "$PREFIX/.complete"
    rm -rf "$work"
fi

# What the build reads.
cat > "$CACHE/paths.cmake.new" <<EOL
set(EXPAT_PREFIX "$EXPAT_PREFIX")
set(WX_PREFIX "$CACHE/mingw-wx-$WX_VER")
EOL
cmp -s "$CACHE/paths.cmake.new" "$CACHE/paths.cmake" 2>/dev/null && rm "$CACHE/paths.cmake.new" || mv "$CACHE/paths.cmake.new" "$CACHE/paths.cmake"
echo "$CACHE/paths.cmake"
