#!/usr/bin/env bash
# Brings a Debian bookworm machine (as root) to a state where the project builds and its tests run:
# the MinGW-w64 cross compiler, zlib for MinGW, Wine with 32-bit support and Wine's own fonts
# (title-bar buttons are drawn with its Marlett font), Xvfb, Japanese fonts, GoogleTest sources
# and zlib's and minizip's sources (from Debian's zlib source package, unpacked outside the
# tracked tree).
# Quick when everything is already there.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
third_party=${THIRD_PARTY_DIR:-$here/../.third_party}
mkdir -p "$third_party"
third_party=$(cd "$third_party" && pwd)

# openssl and osslsigncode sign a test installer after its package, as authors sign theirs;
# nginx serves the download benchmark's file (from a configuration of its own, on the loopback).
packages=(g++-mingw-w64-i686 libz-mingw-w64-dev wine wine32:i386 fonts-wine xvfb
          fonts-ipafont-gothic googletest cmake make python3 dpkg-dev locales unzip x11-utils
          openssl osslsigncode nginx)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    missing+=(wine32:i386)
fi

# A deb-src entry for the suite the machine runs, so that minizip's sources can be fetched.
need_src=0
if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    cat > /etc/apt/sources.list.d/project-deb-src.sources <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    need_src=1
fi

minizip_dir="$third_party/minizip"
zlib_dir="$third_party/zlib"
have_sources=1
[ -f "$minizip_dir/unzip.c" ] && [ -f "$zlib_dir/inflate.c" ] || have_sources=0
if [ ${#missing[@]} -gt 0 ] || [ $need_src = 1 ] || [ $have_sources = 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Japanese locale: Wine takes its ANSI code page (932) from LC_ALL=ja_JP.UTF-8.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
    sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
fi

# zlib's own sources too: the installer compiles the parts it uses for size (CMakeLists.txt).
if [ $have_sources = 0 ]; then
    work=$(mktemp -d)
    (cd "$work" && apt-get source -qq --download-only zlib >/dev/null 2>&1 || apt-get source -qq zlib >/dev/null)
    (cd "$work" && { ls -d zlib-*/ >/dev/null 2>&1 || dpkg-source -x --no-check ./*.dsc >/dev/null; })
    src=$(ls -d "$work"/zlib-*/ | head -n 1)
    rm -rf "$minizip_dir" "$zlib_dir"
    cp -r "$src/contrib/minizip" "$minizip_dir"
    mkdir -p "$zlib_dir"
    cp "$src"/*.c "$src"/*.h "$zlib_dir/"
    rm -rf "$work"
fi

echo "setup: toolchain, Wine and third-party sources ready (third-party in $third_party)"
