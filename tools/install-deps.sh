#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs. Safe to run again: it
# does nothing when all are present.
#   install-deps.sh         everything: build, run, test, fuzz, benchmark
#   install-deps.sh --run   only what building and running the editor needs
set -euo pipefail

# juce-modules-source brings the headers and libraries JUCE builds against
# (X11, freetype, curl, ...), and with them what the editor loads at run time.
packages=(cmake ninja-build pkg-config g++ juce-modules-source libhidapi-dev)
case "${1:-}" in
    --run) ;;
    "")
        packages+=(
            ccache
            # tests, sanitizers, fuzzing, benchmarks
            libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev libsamplerate0-dev
            # end-to-end tests under a virtual display
            xvfb xauth xdotool imagemagick x11-utils zip unzip python3 fonts-dejavu-core
            # reads the overlay's words off a screenshot
            tesseract-ocr tesseract-ocr-eng
        )
        ;;
    *)
        echo "usage: install-deps.sh [--run]" >&2
        exit 2
        ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
