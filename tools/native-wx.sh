#!/usr/bin/env bash
# native-wx.sh: wxWidgets base + xml for this build machine, from the same Debian source package
# (wxwidgets3.2) that set-up builds for MinGW, compiled with clang-14 under AddressSanitizer and
# the fuzzer's coverage instrumentation, so that the fuzz targets run the archive and XML code
# the program ships. Built once per machine into $ORDAVIA_CACHE; prints the prefix.
set -euo pipefail

CACHE=${ORDAVIA_CACHE:-/var/cache/ordavia-build}
log() { printf '[native-wx] %s\n' "$*" >&2; }

APT=(apt-get -o "Dir::Etc::SourceList=/etc/apt/ordavia-build.list" -o "Dir::Etc::SourceParts=-" -o "APT::Get::List-Cleanup=0")
ver=$(cat "$CACHE/wx.version" 2>/dev/null || true)
if [ -z "$ver" ]; then
    ver=$("${APT[@]}" source --print-uris wxwidgets3.2 2>/dev/null | sed -n "s/.*'\(.*\)_\([^_]*\)\.dsc'.*/\2/p" | head -n1 \
        | sed 's/%2[bB]/+/g; s/%3[aA]/-/g')
fi
[ -n "$ver" ] || { log "cannot find the wxwidgets3.2 source package"; exit 1; }
prefix="$CACHE/native-wx-$ver-asan"
# Another worktree's build may be making it right now: one at a time, the second finds it done.
exec 9>"$CACHE/native-wx.lock"
flock 9
if [ ! -f "$prefix/.complete" ]; then
    log "building wxWidgets $ver (base + xml) natively with clang-14 and AddressSanitizer; this takes a few minutes"
    work="$CACHE/src-wx-native"
    rm -rf "$work" "$prefix"
    mkdir -p "$work/build"
    (cd "$work" && "${APT[@]}" source -qq wxwidgets3.2 >/dev/null 2>&1) || { log "cannot fetch the wxwidgets3.2 source"; exit 1; }
    dir=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'wxwidgets3.2-*' | head -n1)
    # Undefined-behaviour checks stay with our own code: the library is checked for memory
    # errors only, which is what a hostile archive or document could turn against a user.
    flags="-fsanitize=address -fsanitize=fuzzer-no-link -fno-omit-frame-pointer -g -O1"
    (cd "$work/build" && \
        CC=clang-14 CXX=clang++-14 CFLAGS="$flags" CXXFLAGS="$flags" LDFLAGS="-fsanitize=address" \
        "$dir/configure" --prefix="$prefix" --disable-gui --enable-unicode --disable-shared \
            --with-zlib=sys --with-expat=sys --without-libcurl --without-liblzma --disable-secretstore \
            --disable-tests >"$work/configure.log" 2>&1 \
        || { tail -n 40 "$work/configure.log" >&2; exit 1; })
    make -C "$work/build" -j"${JOBS:-2}" >"$work/make.log" 2>&1 || { tail -n 40 "$work/make.log" >&2; exit 1; }
    make -C "$work/build" install >/dev/null 2>&1
    touch "$prefix/.complete"
    rm -rf "$work"
fi
echo "$prefix"
