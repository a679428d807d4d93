#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test, fuzz and
# run the editor. Safe to run again: it does nothing when all are present.
set -euo pipefail

packages=(
    # build
    cmake ninja-build pkg-config g++ ccache juce-modules-source libhidapi-dev
    # tests, sanitizers, fuzzing, benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev libsamplerate0-dev
    # end-to-end tests under a virtual display
    xvfb xauth xdotool imagemagick x11-utils zip unzip python3 fonts-dejavu-core
)

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
