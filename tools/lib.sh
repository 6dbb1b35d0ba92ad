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
    clang libclang-rt-14-dev llvm                  # fuzz targets (libFuzzer, symbolizer)
    nsis zip unzip python3                         # the release: installer, zip, their checks
    libcpp-httplib-dev nlohmann-json3-dev          # zubweb: HTTP server, JSON
    chromium chromium-driver python3-selenium      # zubweb's page in a headless browser
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
            ;;
        *)
            zub_warn "unknown build flavour $flavour"
            return 2
            ;;
    esac
    zub_say "build $flavour ($dir)"
    cmake "${configure[@]}" >/dev/null && cmake --build "$dir" -j "$ZUB_JOBS" "${targets[@]}"
}

# The whole single-header cpp-httplib, for zubweb.exe. Debian's
# libcpp-httplib-dev ships the header split from its Linux library, so the
# Windows build takes the header from Debian's source package of the same
# version, with Debian's patches applied, fetched once into build/deps with
# apt-get and a private deb-src list. Sets ZUB_HTTPLIB_DIR; on failure warns
# (zubweb.exe is then left out) and returns 1.
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
    local work=$ZUB_BUILD/deps/httplib-source
    rm -rf "$work" "$ZUB_HTTPLIB_DIR"
    mkdir -p "$work/lists/partial" "$work/src" "$work/sources.list.d" "$ZUB_HTTPLIB_DIR"
    # The deb-src twins of the machine's own Debian sources, in a private list.
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
    zub_say "fetching Debian's cpp-httplib $version source for zubweb.exe"
    local source
    # GIT_CEILING_DIRECTORIES: git apply must not take the clone for the
    # source's repository.
    if ! "${apt[@]}" update >"$work/apt.log" 2>&1 ||
        ! (cd "$work" && "${apt[@]}" source --download-only "cpp-httplib=$version") \
            >>"$work/apt.log" 2>&1 ||
        ! tar -xf "$work"/*.orig.tar.* -C "$work/src" ||
        ! source=$(ls -d "$work"/src/*/ | head -n 1) ||
        ! tar -xf "$work"/*.debian.tar.* -C "$source" ||
        ! (cd "$source" && while read -r patch; do
            [ -z "$patch" ] || [ "${patch#\#}" != "$patch" ] ||
                GIT_CEILING_DIRECTORIES=$work git apply --include=httplib.h \
                    "debian/patches/$patch" || exit 1
        done <debian/patches/series) ||
        ! cp "$source/httplib.h" "$ZUB_HTTPLIB_DIR/"; then
        zub_warn "could not fetch cpp-httplib's source (see $work/apt.log): zubweb.exe is not built"
        rm -rf "$ZUB_HTTPLIB_DIR"
        return 1
    fi
    printf '%s\n' "$version" >"$ZUB_HTTPLIB_DIR/version"
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
