# Shared steps of ./run and ./test: messages, installing missing Debian
# packages, and the native, sanitizer and Windows builds. Sourced by bash.
# shellcheck shell=bash

ZUB_ROOT=${ZUB_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
ZUB_BUILD=${ZUB_BUILD:-$ZUB_ROOT/build}
ZUB_JOBS=${ZUB_JOBS:-2}
# Taken around every run of the program under Wine (tests, benches): the
# TCP ports it listens on are the machine's, whatever the checkout.
ZUB_WINE_LOCK=${ZUB_WINE_LOCK:-/tmp/zubcd-wine.lock}

# What the builds, the tests and the Wine harness need on Debian 12.
ZUB_PACKAGES=(
    cmake make g++ libgtest-dev googletest         # native builds and unit tests
    g++-mingw-w64-x86-64-posix                     # the Windows cross build
    wine wine64 fonts-wine                         # running the program
    xvfb x11-utils xdotool imagemagick             # display, clicks, screenshots
    openbox                                        # title bars on a private display
    nlohmann-json3-dev                             # JSON output of the tools
    libsqlite3-dev tcl                             # the library file; SQLite for zubcd.exe
    clang libclang-rt-14-dev llvm                  # fuzz targets (libFuzzer, symbolizer)
    nsis zip unzip python3                         # the release: installer, zip, their checks
    libcpp-httplib-dev nlohmann-json3-dev          # zubweb: HTTP server, JSON
    chromium chromium-driver python3-selenium      # zubweb's page in a headless browser
    nodejs                                         # the web page's logic under node
    gnuplot-nox                                    # the soak run's plot
)

zub_say() { printf '==> %s\n' "$*"; }
zub_warn() { printf '!!! %s\n' "$*" >&2; }

# Prints the packages of the arguments that are not installed.
zub_missing_packages() {
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            printf '%s\n' "$package"
        fi
    done
}

# Installs what is missing of ZUB_PACKAGES: one apt-get update, one install.
zub_ensure_packages() {
    local missing
    missing=$(zub_missing_packages "${ZUB_PACKAGES[@]}")
    if [ -z "$missing" ]; then
        return 0
    fi
    local -a sudo=()
    if [ "$(id -u)" != 0 ]; then
        if ! command -v sudo >/dev/null; then
            zub_warn "missing packages and no root rights to install them:" $missing
            return 1
        fi
        sudo=(sudo)
    fi
    zub_say "installing:" $missing
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    # shellcheck disable=SC2086  # one word per package
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends $missing
}

# zub_build FLAVOUR [CONFIGURE ARGS...] [-- TARGETS...]: configures and builds
# one flavour into build/<flavour>: native, asan (address + undefined), tsan
# (thread) or win (MinGW-w64); all targets unless some are named.
zub_build() {
    local flavour=$1
    shift
    local dir=$ZUB_BUILD/$flavour
    local -a configure=(-S "$ZUB_ROOT" -B "$dir") targets=()
    while (($# > 0)); do
        if [ "$1" = -- ]; then
            shift
            targets=(--target "$@")
            break
        fi
        configure+=("$1")
        shift
    done
    case $flavour in
        native) ;;
        asan) configure+=(-DZUB_SANITIZE=address,undefined) ;;
        tsan) configure+=(-DZUB_SANITIZE=thread) ;;
        win)
            configure+=(-DCMAKE_TOOLCHAIN_FILE="$ZUB_ROOT/cmake/mingw-w64.cmake"
                -DCMAKE_BUILD_TYPE=Release)
            if zub_httplib_header; then
                configure+=(-DZUB_HTTPLIB_DIR="$ZUB_HTTPLIB_DIR")
            fi
            if zub_sqlite_amalgamation; then
                configure+=(-DZUB_SQLITE_DIR="$ZUB_SQLITE_DIR")
            fi
            ;;
        *)
            zub_warn "unknown build flavour $flavour"
            return 2
            ;;
    esac
    zub_say "build $flavour ($dir)"
    cmake "${configure[@]}" >/dev/null && cmake --build "$dir" -j "$ZUB_JOBS" "${targets[@]}"
}

# zub_debian_source PACKAGE VERSION WORK: Debian's source package of PACKAGE
# at VERSION, fetched with apt-get and a private deb-src list (the deb-src
# twins of the machine's own Debian sources) into WORK, its upstream tarball
# unpacked with the debian/ folder beside it. Prints the source folder;
# returns 1 on failure (apt-get's output is in WORK/apt.log).
zub_debian_source() {
    local package=$1 version=$2 work=$3
    rm -rf "$work"
    mkdir -p "$work/lists/partial" "$work/src" "$work/sources.list.d"
    local file
    for file in /etc/apt/sources.list.d/*.sources; do
        if [ -f "$file" ]; then
            sed 's/^Types:.*/Types: deb-src/' "$file" >"$work/sources.list.d/${file##*/}"
        fi
    done
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$work/sources.list" 2>/dev/null || true
    local -a apt=(apt-get -q -o Dir::Etc::SourceList="$work/sources.list"
        -o Dir::Etc::SourceParts="$work/sources.list.d" -o Dir::State::Lists="$work/lists"
        -o Debug::NoLocking=1)
    local source
    "${apt[@]}" update >"$work/apt.log" 2>&1 &&
        (cd "$work" && "${apt[@]}" source --download-only "$package=$version") \
            >>"$work/apt.log" 2>&1 &&
        tar -xf "$work"/*.orig.tar.* -C "$work/src" &&
        source=$(ls -d "$work"/src/*/ | head -n 1) &&
        tar -xf "$work"/*.debian.tar.* -C "$source" &&
        printf '%s\n' "${source%/}"
}

# zub_debian_patches SOURCE [GIT APPLY OPTIONS...]: applies the patches of
# debian/patches/series in SOURCE, in order.
zub_debian_patches() {
    local source=$1
    shift
    [ -f "$source/debian/patches/series" ] || return 0
    # GIT_CEILING_DIRECTORIES: git apply must not take the clone for the
    # source's repository.
    (cd "$source" && while read -r patch; do
        [ -z "$patch" ] || [ "${patch#\#}" != "$patch" ] ||
            GIT_CEILING_DIRECTORIES=$(dirname "$source") git apply "$@" \
                "debian/patches/${patch%% *}" || exit 1
    done <debian/patches/series)
}

# The whole single-header cpp-httplib, for zubweb.exe. Debian's
# libcpp-httplib-dev ships the header split from its Linux library, so the
# Windows build takes the header from Debian's source package of the same
# version, with Debian's patches applied, fetched once into build/deps.
# Sets ZUB_HTTPLIB_DIR; on failure warns (zubweb.exe is then left out) and
# returns 1.
ZUB_HTTPLIB_DIR=$ZUB_BUILD/deps/httplib
zub_httplib_header() {
    local version
    version=$(dpkg-query -W -f='${Version}' libcpp-httplib-dev 2>/dev/null) || version=""
    if [ -z "$version" ]; then
        zub_warn "libcpp-httplib-dev is not installed: zubweb.exe is not built"
        return 1
    fi
    if [ "$(cat "$ZUB_HTTPLIB_DIR/version" 2>/dev/null)" = "$version" ]; then
        return 0
    fi
    local work=$ZUB_BUILD/deps/httplib-source source
    rm -rf "$ZUB_HTTPLIB_DIR"
    zub_say "fetching Debian's cpp-httplib $version source for zubweb.exe"
    if ! source=$(zub_debian_source cpp-httplib "$version" "$work") ||
        ! zub_debian_patches "$source" --include=httplib.h ||
        ! mkdir -p "$ZUB_HTTPLIB_DIR" || ! cp "$source/httplib.h" "$ZUB_HTTPLIB_DIR/"; then
        zub_warn "could not fetch cpp-httplib's source (see $work/apt.log): zubweb.exe is not built"
        rm -rf "$ZUB_HTTPLIB_DIR"
        return 1
    fi
    printf '%s\n' "$version" >"$ZUB_HTTPLIB_DIR/version"
}

# SQLite for zubcd.exe, compiled into the static program: the amalgamation
# sqlite3.c and sqlite3.h, made from Debian's source package of the installed
# libsqlite3-dev (Debian's patches applied) with its own configure and make
# (which need tclsh), once, into build/deps/sqlite. Sets ZUB_SQLITE_DIR; on
# failure warns and returns 1 (the Windows configure then stops).
ZUB_SQLITE_DIR=$ZUB_BUILD/deps/sqlite
zub_sqlite_amalgamation() {
    local version
    version=$(dpkg-query -W -f='${Version}' libsqlite3-dev 2>/dev/null) || version=""
    if [ -z "$version" ]; then
        zub_warn "libsqlite3-dev is not installed: no SQLite for zubcd.exe"
        return 1
    fi
    if [ "$(cat "$ZUB_SQLITE_DIR/debian-version" 2>/dev/null)" = "$version" ]; then
        return 0
    fi
    local work=$ZUB_BUILD/deps/sqlite-source source
    rm -rf "$ZUB_SQLITE_DIR"
    zub_say "fetching Debian's SQLite $version source for zubcd.exe"
    if ! source=$(zub_debian_source sqlite3 "$version" "$work") ||
        ! zub_debian_patches "$source" ||
        ! (cd "$source" && ./configure && make sqlite3.c) >"$work/make.log" 2>&1 ||
        ! mkdir -p "$ZUB_SQLITE_DIR" ||
        ! cp "$source/sqlite3.c" "$source/sqlite3.h" "$ZUB_SQLITE_DIR/"; then
        zub_warn "could not make SQLite's amalgamation (see $work/apt.log, $work/make.log)"
        rm -rf "$ZUB_SQLITE_DIR"
        return 1
    fi
    printf '%s\n' "$version" >"$ZUB_SQLITE_DIR/debian-version"
}

# zub_bench_build "NATIVE TARGETS" ["WINDOWS TARGETS"]: builds what a
# benchmark runs, unless ZUB_BENCH_NO_BUILD=1 says its caller has built it.
zub_bench_build() {
    if [ "${ZUB_BENCH_NO_BUILD:-0}" = 1 ]; then
        return 0
    fi
    # shellcheck disable=SC2086  # one word per target
    zub_build native -- $1 >&2 || return 1
    if [ -n "${2:-}" ]; then
        # shellcheck disable=SC2086
        zub_build win -- $2 >&2
    fi
}
