#!/usr/bin/env bash
# Installs what the Windows cross-build needs on Debian 12: the MinGW-w64
# toolchain (posix threads), Wine to run the result, and the sources of the
# libraries Debian ships for Linux only (libpng, libjpeg-turbo, hidapi).
# The sources are unpacked once into SOURCE_CACHE (default .cache/windows-sources)
# and never fetched again while they are there. With --benchmarks it also
# fetches the source of Google Benchmark, which Debian builds for Linux only.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cache="${SOURCE_CACHE:-$root/.cache/windows-sources}"

packages=(
    g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev binutils-mingw-w64-x86-64
    wine wine64 googletest dpkg-dev
    # the host build of the image-pack builder and the run under Wine on a virtual display
    cmake ninja-build pkg-config g++ ccache juce-modules-source libhidapi-dev
    xvfb xauth xdotool imagemagick x11-utils zip unzip python3 fonts-dejavu-core
)
# Debian source packages, unpacked as <cache>/<name>.
sources=(libpng1.6 libjpeg-turbo hidapi)
[ "${1:-}" = "--benchmarks" ] && sources+=(benchmark)

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

wanted=()
for s in "${sources[@]}"; do
    [ -f "$cache/$s/.unpacked" ] || wanted+=("$s")
done

if [ ${#wanted[@]} -eq 0 ]; then
    exit 0
fi

# apt-get source needs deb-src entries; they are there only while we fetch,
# derived from whichever layout of package sources the machine has.
srcfiles=(/etc/apt/sources.list.d/quellon-windows-src.sources /etc/apt/sources.list.d/quellon-windows-src.list)
cleanup() {
    if [ -f "${srcfiles[0]}" ] || [ -f "${srcfiles[1]}" ]; then
        $sudo rm -f "${srcfiles[@]}"
        $sudo apt-get update -qq || true
    fi
}
trap cleanup EXIT
# Entries a killed run left behind are not the machine's own.
$sudo rm -f "${srcfiles[@]}"

# Nothing to add when every source has its deb-src entry already.
deb822="$("$root/tools/deb-src-entries.sh" deb822)"
oneline="$("$root/tools/deb-src-entries.sh" one-line)"
[ -z "$deb822" ] || printf '%s\n' "$deb822" | $sudo tee "${srcfiles[0]}" >/dev/null
[ -z "$oneline" ] || printf '%s\n' "$oneline" | $sudo tee "${srcfiles[1]}" >/dev/null
[ -z "$deb822$oneline" ] || $sudo apt-get update -qq

# One package per call: when one of several fails, apt unpacks none. A version
# whose files the mirror no longer serves is skipped for the next older one.
fetch() {
    local name="$1" work="$2"
    local versions
    versions="$(apt-cache showsrc "$name" | sed -n 's/^Version: //p' | sort -ruV)"
    for v in "" $versions; do
        local spec="$name"
        [ -n "$v" ] && spec="$name=$v"
        if (cd "$work" && apt-get source -qq "$spec" >/dev/null 2>&1); then
            return 0
        fi
        rm -rf "${work:?}"/*
    done
    echo "Could not fetch the Debian source of $name" >&2
    return 1
}

mkdir -p "$cache"
for s in "${wanted[@]}"; do
    work="$(mktemp -d "$cache/.fetch-XXXXXX")"
    fetch "$s" "$work"
    dir="$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)"
    rm -rf "${cache:?}/$s"
    mv "$dir" "$cache/$s"
    touch "$cache/$s/.unpacked"
    rm -rf "$work"
    echo "Unpacked the source of $s into $cache/$s"
done
