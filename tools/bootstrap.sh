#!/usr/bin/env bash
# Sets up a Debian 12 machine to build and test all presets (host, win32, win64,
# and fuzz: clang with libFuzzer). Run as root (it is needed only while packages
# or the deb-src entry are missing); safe to run again: every step checks first,
# and a machine that is already set up is done in about a second.
#
#   1. installs the missing Debian packages (MinGW-w64, Wine, CMake, ...);
#   2. builds static Boost.Filesystem and tinyxml2 for both MinGW targets from
#      Debian's source packages, into build/deps/<triplet>/ (there are no MinGW
#      packages of them); the fuzz preset builds tinyxml2 from the same source;
#   3. creates the Wine prefix build/wineprefix used by tools/wine-run.sh.
#
# MinGW libraries are built with <triplet>-g++-posix: GoogleTest needs
# std::mutex, which GCC 12's win32 thread model does not have. Everything built
# for Windows must use the same flavour, and the toolchain files pick it too.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="$ROOT/build/deps"
SRC="$DEPS/src"
TRIPLETS=(i686-w64-mingw32 x86_64-w64-mingw32)
GXX_FLAVOUR=posix
JOBS=2
# Bump when a change to this script must rebuild the MinGW libraries.
RECIPE_REVISION=1

PACKAGES=(
    g++ cmake make ninja-build pkg-config python3 file dpkg-dev xz-utils
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 libz-mingw-w64-dev
    wine64 xvfb xauth xdotool
    libtinyxml2-dev libboost-filesystem-dev zlib1g-dev googletest libgtest-dev libgmock-dev
    zip unzip libarchive-tools p7zip-full time
    clang libclang-rt-14-dev
)

export DEBIAN_FRONTEND=noninteractive

log() { printf '[bootstrap] %s\n' "$*" >&2; }
die() { printf '[bootstrap] error: %s\n' "$*" >&2; exit 1; }
need_root() { [[ "$(id -u)" -eq 0 ]] || die "run as root: $*"; }

APT_UPDATED=0
apt_update() {
    if [[ $APT_UPDATED -eq 0 ]]; then
        need_root "apt-get update"
        log "apt-get update"
        apt-get update -q >/dev/null
        APT_UPDATED=1
    fi
}

install_packages() {
    local missing=() p
    # One dpkg-query for all names; unknown names print nothing and count as missing.
    local installed
    installed="$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${PACKAGES[@]}" 2>/dev/null || true)"
    for p in "${PACKAGES[@]}"; do
        grep -qx "$p installed" <<<"$installed" || missing+=("$p")
    done
    if [[ ${#missing[@]} -eq 0 ]]; then
        log "packages: all present"
        return
    fi
    log "installing: ${missing[*]}"
    need_root "packages to install: ${missing[*]}"
    apt_update
    # Recommends stay on: Wine's X11 driver needs libwine's recommended X
    # libraries for GUI tests under Xvfb. wine32 is kept out even where i386 is
    # enabled (wine recommends it): this kernel cannot run 32-bit Linux programs.
    local exclude=()
    if dpkg --print-foreign-architectures | grep -qx i386; then
        exclude=(wine32:i386-)
    fi
    apt-get install -y -q "${missing[@]}" "${exclude[@]}" >/dev/null
}

# --- Debian source packages -------------------------------------------------

# The Debian source package and version that built the package owning $1, so the
# sources match the headers in /usr/include exactly.
source_of() {
    local owner
    owner="$(dpkg -S "$1" | head -n1 | cut -d: -f1)"
    dpkg-query -W -f='${source:Package} ${source:Version}\n' "$owner"
}

ensure_deb_src() {
    local list=/etc/apt/sources.list.d/debian-src.sources
    local main=/etc/apt/sources.list.d/debian.sources
    if [[ -f "$list" ]]; then
        return
    fi
    need_root "$list is missing"
    if [[ -f "$main" ]]; then
        # Same archives, suites and components as the binary packages.
        sed -e 's/^Types:.*/Types: deb-src/' "$main" >"$list"
    else
        cat >"$list" <<'EOS'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOS
    fi
    log "added $list"
    APT_UPDATED=0
}

first_existing() {
    local f
    for f in "$@"; do
        if [[ -e "$f" ]]; then printf '%s\n' "$f"; return; fi
    done
}

# Downloads the source package $1 at version $2 into $SRC (once) and sets
# TARBALL to the path of its upstream tarball. Not run in a subshell, so
# apt-get update happens once per run.
TARBALL=""
fetch_source() {
    local pkg="$1" version="$2"
    local upstream="${version#*:}"
    upstream="${upstream%-*}"
    TARBALL="$(first_existing "$SRC/${pkg}_${upstream}".orig.tar.*)"
    if [[ -z "$TARBALL" ]]; then
        ensure_deb_src
        apt_update
        log "apt-get source --download-only $pkg=$version"
        (
            cd "$SRC"
            # Sandbox user root: the _apt user cannot write into the cache folder.
            apt-get source -q --download-only -o APT::Sandbox::User=root "$pkg=$version" >/dev/null ||
                { log "version $version not in the archive, taking the current one";
                  apt-get source -q --download-only -o APT::Sandbox::User=root "$pkg" >/dev/null; }
        )
        TARBALL="$(first_existing "$SRC/${pkg}"_*.orig.tar.*)"
        [[ -n "$TARBALL" ]] || die "no upstream tarball for $pkg in $SRC"
    fi
}

BOOST_PKG="" BOOST_VERSION="" BOOST_DIR=""
TINYXML2_PKG="" TINYXML2_VERSION="" TINYXML2_DIR=""

describe_sources() {
    read -r BOOST_PKG BOOST_VERSION < <(source_of /usr/include/boost/version.hpp)
    read -r TINYXML2_PKG TINYXML2_VERSION < <(source_of /usr/include/tinyxml2.h)
    BOOST_DIR="$SRC/$BOOST_PKG-$BOOST_VERSION"
    TINYXML2_DIR="$SRC/$TINYXML2_PKG-$TINYXML2_VERSION"
}

# Unpacks only what is compiled: Boost's tarball is 60 MB, its filesystem
# sources a few hundred KB. Debian's patches to these files only concern other
# systems, so the upstream files are used as they are.
ensure_sources() {
    mkdir -p "$SRC"
    if [[ ! -f "$BOOST_DIR/.unpacked" ]]; then
        fetch_source "$BOOST_PKG" "$BOOST_VERSION"
        local tarball="$TARBALL"
        log "unpacking Boost.Filesystem sources from $(basename "$tarball")"
        rm -rf "$BOOST_DIR" && mkdir -p "$BOOST_DIR"
        tar -xf "$tarball" -C "$BOOST_DIR" --strip-components=1 --wildcards '*/libs/filesystem/src/*'
        ls "$BOOST_DIR"/libs/filesystem/src/*.cpp >/dev/null || die "no Boost.Filesystem sources in $tarball"
        touch "$BOOST_DIR/.unpacked"
    fi
    if [[ ! -f "$TINYXML2_DIR/.unpacked" ]]; then
        fetch_source "$TINYXML2_PKG" "$TINYXML2_VERSION"
        local tarball="$TARBALL"
        log "unpacking tinyxml2 sources from $(basename "$tarball")"
        rm -rf "$TINYXML2_DIR" && mkdir -p "$TINYXML2_DIR"
        tar -xf "$tarball" -C "$TINYXML2_DIR" --strip-components=1 --wildcards '*/tinyxml2.cpp' '*/tinyxml2.h'
        [[ -f "$TINYXML2_DIR/tinyxml2.cpp" && -f "$TINYXML2_DIR/tinyxml2.h" ]] || die "no tinyxml2 sources in $tarball"
        touch "$TINYXML2_DIR/.unpacked"
    fi
}

# --- MinGW builds -----------------------------------------------------------

COMMON_FLAGS=(-O2 -std=c++17 -DNDEBUG)
# Windows 7 API level, static linking, no MSVC auto-link pragmas; BCrypt for
# unique_path as Boost's own build picks on Vista and later.
BOOST_FLAGS=(
    -D_WIN32_WINNT=0x0601 -DWINVER=0x0601
    -DBOOST_FILESYSTEM_SOURCE -DBOOST_FILESYSTEM_STATIC_LINK=1 -DBOOST_ALL_NO_LIB
    -DBOOST_FILESYSTEM_HAS_BCRYPT
)

# Everything that decides the content of the libraries; a change rebuilds them.
recipe_for() {
    local triplet="$1" cxx="$2"
    local arch="${triplet%%-*}"
    arch="${arch//_/-}"
    printf 'compiler %s\n' "$("$cxx" --version | head -n1)"
    printf 'packages %s\n' "$(dpkg-query -W -f='${Package}=${Version} ' \
        "g++-mingw-w64-$arch-$GXX_FLAVOUR" "mingw-w64-$arch-dev" 2>/dev/null || true)"
    printf 'flags %s | %s\n' "${COMMON_FLAGS[*]}" "${BOOST_FLAGS[*]}"
    printf 'boost %s %s\n' "$BOOST_PKG" "$BOOST_VERSION"
    printf 'tinyxml2 %s %s\n' "$TINYXML2_PKG" "$TINYXML2_VERSION"
    printf 'recipe %s\n' "$RECIPE_REVISION"
}

compile_all() {
    # compile_all <cxx> <objdir> <log> <flags...> -- <sources...>
    local cxx="$1" objdir="$2" logfile="$3"
    shift 3
    local flags=()
    while [[ "$1" != "--" ]]; do flags+=("$1"); shift; done
    shift
    mkdir -p "$objdir"
    # Two jobs at most: the machine is shared.
    # shellcheck disable=SC2016  # expanded by the inner sh
    if ! printf '%s\n' "$@" | xargs -P "$JOBS" -I{} sh -c \
        'src="$1"; shift; obj="$0/$(basename "$src" .cpp).o"; "$@" -c "$src" -o "$obj"' \
        "$objdir" {} "$cxx" "${flags[@]}" >>"$logfile" 2>&1; then
        tail -n 40 "$logfile" >&2
        die "compilation failed, see $logfile"
    fi
}

build_triplet() {
    local triplet="$1"
    local cxx="$triplet-g++-$GXX_FLAVOUR"
    local ar="$triplet-ar"
    local out="$DEPS/$triplet"
    local stamp="$out/.built"
    command -v "$cxx" >/dev/null || die "$cxx not found"

    local recipe
    recipe="$(recipe_for "$triplet" "$cxx")"
    if [[ -f "$stamp" && "$(cat "$stamp")" == "$recipe" &&
          -f "$out/lib/libboost_filesystem.a" && -f "$out/lib/libtinyxml2.a" &&
          -f "$out/include/tinyxml2.h" && -L "$out/boost-include/boost" ]]; then
        log "$triplet: libraries up to date"
        return
    fi

    ensure_sources
    log "$triplet: building Boost.Filesystem and tinyxml2 with $cxx"
    rm -rf "$out"
    mkdir -p "$out/lib" "$out/include" "$out/boost-include"
    # Boost headers come from Debian's package; the folder holds nothing but
    # this link, so /usr/include never lands on a MinGW include path.
    ln -s /usr/include/boost "$out/boost-include/boost"
    cp "$TINYXML2_DIR/tinyxml2.h" "$out/include/tinyxml2.h"

    local work="$out/obj" logfile="$out/build.log"
    : >"$logfile"

    compile_all "$cxx" "$work/boost" "$logfile" \
        "${COMMON_FLAGS[@]}" "${BOOST_FLAGS[@]}" -isystem "$out/boost-include" -- \
        "$BOOST_DIR"/libs/filesystem/src/*.cpp
    "$ar" rcs "$out/lib/libboost_filesystem.a" "$work"/boost/*.o

    compile_all "$cxx" "$work/tinyxml2" "$logfile" "${COMMON_FLAGS[@]}" -- \
        "$TINYXML2_DIR/tinyxml2.cpp"
    "$ar" rcs "$out/lib/libtinyxml2.a" "$work"/tinyxml2/*.o

    rm -rf "$work"
    printf '%s\n' "$recipe" >"$stamp"
    log "$triplet: done"
}

# --- main -------------------------------------------------------------------

install_packages
describe_sources
for triplet in "${TRIPLETS[@]}"; do
    build_triplet "$triplet"
done
"$ROOT/tools/wine-prefix.sh" "$ROOT/build/wineprefix"
log "Wine prefix: $ROOT/build/wineprefix"
log "ready"
