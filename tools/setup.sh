#!/usr/bin/env bash
# Installs what the build needs and builds the MinGW libraries once per machine, for both
# flavours (i686 and x86_64). Everything is cached under $ORDAVIA_CACHE (default
# /var/cache/ordavia-build); a stamp per step makes a second run do nothing.
#
# Prints nothing on standard output but the cache folder; the build reads
# $CACHE/paths-<cpu>.cmake for each flavour.
set -euo pipefail

CACHE=${ORDAVIA_CACHE:-/var/cache/ordavia-build}
mkdir -p "$CACHE"
SUDO=""
[ "$(id -u)" = 0 ] || SUDO="sudo"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

log() { printf '[setup] %s\n' "$*" >&2; }

# --- Can this machine run 32-bit code at all? ---------------------------------------------
# Some kernels have their 32-bit emulation switched off; wine32 is then useless. Decide by
# running a tiny static i386 program, never by assumption.
can32=0
if bash "$here/tools/probe32.sh" "$CACHE"; then can32=1; fi

# --- Debian packages -------------------------------------------------------------------
# clang-14 and libFuzzer build the native fuzz targets; zlib and expat are what their native
# wxWidgets (tools/native-wx.sh, built on first use) links against.
PKGS="g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 \
      libz-mingw-w64-dev wine wine64 googletest cmake make dpkg-dev unicode-data iso-codes \
      xz-utils python3 python3-polib wixl msitools clang-14 libfuzzer-14-dev zlib1g-dev libexpat1-dev"
[ $can32 = 1 ] && PKGS="$PKGS wine32:i386"

# The archive this machine's apt uses for its release (a local mirror stays in use); the
# build list adds the source packages and leaves out the security suite, whose i386 index can
# lag the amd64 one.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
archive_uri() {
    {
        cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
            | awk -v s="$codename" '$1=="deb" { for (i=2;i<=NF;i++) if ($i ~ /^[a-z]+:\/\//) { if ($(i+1)==s) print $i; break } }'
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -f "$f" ] || continue
            awk -v s="$codename" '
                /^[ \t]*$/ { if (uri != "" && ok) print uri; uri=""; ok=0; next }
                tolower($1)=="uris:" { uri=$2 }
                tolower($1)=="suites:" { for (i=2;i<=NF;i++) if ($i==s) ok=1 }
                END { if (uri != "" && ok) print uri }' "$f"
        done
    } | head -n1
}
srclist=/etc/apt/ordavia-build.list
APT=(apt-get -o "Dir::Etc::SourceList=$srclist" -o "Dir::Etc::SourceParts=-" -o "APT::Get::List-Cleanup=0")

apt_stamp="$CACHE/apt.stamp"
want="$PKGS"
need_apt=0
[ "$(cat "$apt_stamp" 2>/dev/null)" = "$want" ] || need_apt=1
[ -f "$srclist" ] || need_apt=1
for p in i686-w64-mingw32-g++ x86_64-w64-mingw32-g++ cmake wixl msibuild; do command -v $p >/dev/null || need_apt=1; done
[ -x /usr/lib/wine/wine64 ] || need_apt=1
if [ $need_apt = 1 ]; then
    uri=$(archive_uri)
    [ -n "$codename" ] && [ -n "$uri" ] || { log "cannot find this machine's Debian archive in its apt configuration"; exit 1; }
    log "installing Debian packages from the $codename archive"
    $SUDO tee "$srclist" >/dev/null <<EOL
deb $uri $codename main
deb $uri $codename-updates main
deb-src $uri $codename main
EOL
    [ $can32 = 1 ] && $SUDO dpkg --add-architecture i386
    $SUDO "${APT[@]}" update -qq
    $SUDO env DEBIAN_FRONTEND=noninteractive "${APT[@]}" install -y -qq --no-install-recommends $PKGS >/dev/null
    echo "$want" > "$apt_stamp"
fi
echo $can32 > "$CACHE/can32"

# --- Each flavour's Windows system libraries, as files to read --------------------------------
# The import check reads the export tables of the system libraries a flavour's modules import
# from. The 64-bit ones come with wine64; the 32-bit ones are in libwine:i386, which is only
# downloaded and unpacked here, never installed, so the check runs where 32-bit code cannot.
dlls64=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
dlls32="$CACHE/wine-dlls-i386"
if [ ! -f "$dlls32/.complete" ]; then
    log "unpacking the 32-bit Windows system libraries (libwine:i386) for the import check"
    dpkg --print-foreign-architectures | grep -qx i386 || { $SUDO dpkg --add-architecture i386; $SUDO "${APT[@]}" update -qq; }
    work=$(mktemp -d)
    (cd "$work" && "${APT[@]}" download -qq "libwine:i386=$(dpkg-query -W -f='${Version}' libwine:amd64)" >/dev/null 2>&1 \
        || { $SUDO "${APT[@]}" update -qq && "${APT[@]}" download -qq libwine:i386 >/dev/null; }) \
        || { log "cannot download libwine:i386"; exit 1; }
    dpkg-deb -x "$work"/libwine_*_i386.deb "$work/x"
    rm -rf "$dlls32"; mkdir -p "$dlls32"
    cp "$work"/x/usr/lib/i386-linux-gnu/wine/i386-windows/*.dll "$dlls32/"
    rm -rf "$work"
    touch "$dlls32/.complete"
fi

# --- expat and wxWidgets for MinGW, one prefix per target ------------------------------------
JOBS=$(nproc)
src_version() { "${APT[@]}" source --print-uris "$1" 2>/dev/null | sed -n "s/.*'\(.*\)_\([^_]*\)\.dsc'.*/\2/p" | head -n1 | sed 's/%2[bB]/+/g; s/%3[aA]/-/g'; }

# build_expat <triple>: prints the prefix.
build_expat() {
    local triple=$1 ver prefix work dir
    ver=$(cat "$CACHE/expat.version" 2>/dev/null || true)
    [ -n "$ver" ] || { ver=$(src_version expat); [ -n "$ver" ] || { log "cannot find the expat source package"; exit 1; }; }
    prefix="$CACHE/mingw-expat-$ver-$triple"
    if [ ! -f "$prefix/lib/libexpat.a" ]; then
        log "building expat $ver for $triple"
        work="$CACHE/src-expat-$triple"; rm -rf "$work"; mkdir -p "$work"
        (cd "$work" && "${APT[@]}" source -qq expat >/dev/null 2>&1)
        dir=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'expat-*' | head -n1)
        [ -d "$dir/expat" ] && dir="$dir/expat"
        # The patched sources test "#if XML_DTD == 1", which the CMake config header leaves empty.
        sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$dir/expat_config.h.cmake"
        cmake -S "$dir" -B "$work/build" -DCMAKE_SYSTEM_NAME=Windows \
            -DCMAKE_C_COMPILER=$triple-gcc -DCMAKE_RC_COMPILER=$triple-windres \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DEXPAT_SHARED_LIBS=OFF \
            -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
            -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=ON >"$work/configure.log" 2>&1 \
            || { tail -n 40 "$work/configure.log" >&2; exit 1; }
        cmake --build "$work/build" -j"$JOBS" >"$work/make.log" 2>&1 || { tail -n 40 "$work/make.log" >&2; exit 1; }
        cmake --install "$work/build" >/dev/null
        # Name the library the way wx's configure looks for it.
        [ -f "$prefix/lib/libexpat.a" ] || cp "$(ls "$prefix"/lib/libexpat*.a | head -n1)" "$prefix/lib/libexpat.a"
        echo "$ver" > "$CACHE/expat.version"
        rm -rf "$work"
    fi
    echo "$prefix"
}

# build_wx <triple> <expat prefix>: prints the prefix.
build_wx() {
    local triple=$1 expat=$2 ver prefix work dir inc
    ver=$(cat "$CACHE/wx.version" 2>/dev/null || true)
    [ -n "$ver" ] || { ver=$(src_version wxwidgets3.2); [ -n "$ver" ] || { log "cannot find the wxwidgets3.2 source package"; exit 1; }; }
    prefix="$CACHE/mingw-wx-$ver-$triple"
    if [ ! -f "$prefix/.complete" ]; then
        log "building wxWidgets $ver (base + xml) for $triple; this takes a few minutes"
        work="$CACHE/src-wx-$triple"; rm -rf "$work" "$prefix"; mkdir -p "$work"
        (cd "$work" && "${APT[@]}" source -qq wxwidgets3.2 >/dev/null 2>&1)
        dir=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'wxwidgets3.2-*' | head -n1)
        mkdir -p "$work/build"
        (cd "$work/build" && \
            CPPFLAGS="-I$expat/include -I/usr/$triple/include" \
            LDFLAGS="-L$expat/lib" \
            "$dir/configure" --host=$triple --prefix="$prefix" \
                --disable-gui --enable-unicode --disable-shared --with-zlib=sys --with-expat=sys \
                --without-libcurl --disable-tests >"$work/configure.log" 2>&1 \
            || { tail -n 40 "$work/configure.log" >&2; exit 1; })
        make -C "$work/build" -j"$JOBS" >"$work/make.log" 2>&1 || { tail -n 40 "$work/make.log" >&2; exit 1; }
        make -C "$work/build" install >/dev/null 2>&1
        # The install leaves out this header, which wx/app.h needs on MSW.
        inc=$(ls -d "$prefix"/include/wx-3.2)
        mkdir -p "$inc/wx/msw" && cp "$dir/include/wx/msw/init.h" "$inc/wx/msw/init.h"
        echo "$ver" > "$CACHE/wx.version"
        touch "$prefix/.complete"
        rm -rf "$work"
    fi
    echo "$prefix"
}

for cpu in i686 x86_64; do
    triple=$cpu-w64-mingw32
    expat=$(build_expat $triple)
    wx=$(build_wx $triple "$expat")
    # What the build reads.
    case $cpu in i686) dlls=$dlls32;; *) dlls=$dlls64;; esac
    printf 'set(EXPAT_PREFIX "%s")\nset(WX_PREFIX "%s")\nset(WINDOWS_SYSTEM_DLLS "%s")\n' "$expat" "$wx" "$dlls" \
        > "$CACHE/paths-$cpu.cmake.new"
    if cmp -s "$CACHE/paths-$cpu.cmake.new" "$CACHE/paths-$cpu.cmake"; then
        rm "$CACHE/paths-$cpu.cmake.new"
    else
        mv "$CACHE/paths-$cpu.cmake.new" "$CACHE/paths-$cpu.cmake"
    fi
done
echo "$CACHE"
