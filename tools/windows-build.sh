#!/usr/bin/env bash
# Cross-builds the Windows program (tools/dev windows):
#   1. the Windows toolchain, Wine and the third-party sources (install-windows-deps.sh);
#   2. a host build of the image-pack builder, which the cross build runs;
#   3. libpng, libjpeg-turbo and hidapi for Windows (cmake/windows/third_party);
#   4. the program, with --tests its tests, with --benchmarks the benchmarks
#      that run under Wine (and Google Benchmark for them in step 3);
#   5. dist/windows/ with the stripped "Quellon Editor.exe" and hidapi.dll, and
#      dist/Quellon-Editor-<version>-windows-x86_64.zip of that folder.
# The program carries the firmware image QUELLON_FIRMWARE_IMAGE names in the
# environment, or none when it is unset or empty (whatever an earlier run of
# the same build folder was given).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="${WINDOWS_BUILD_DIR:-$root/build-windows}"
dist="$root/dist"
with_tests=no
with_benchmarks=no
for option in "$@"; do
    case "$option" in
        --tests) with_tests=yes ;;
        --benchmarks) with_benchmarks=yes ;;
        *) echo "usage: $0 [--tests] [--benchmarks]" >&2; exit 2 ;;
    esac
done
benchmarks_cmake=OFF
deps_options=()
if [ "$with_benchmarks" = yes ]; then
    benchmarks_cmake=ON
    deps_options=(--benchmarks)
fi

"$root/tools/install-windows-deps.sh" "${deps_options[@]}"

cmake -S "$root" -B "$out/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQUELLON_BUILD_TESTS=OFF -DQUELLON_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$out/host" --target quellon_image_pack_builder

toolchain="$root/cmake/mingw-w64-x86_64.cmake"
prefix="$out/prefix"
cmake -S "$root/cmake/windows/third_party" -B "$out/third_party" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQUELLON_SOURCE_CACHE="${SOURCE_CACHE:-$root/.cache/windows-sources}" \
    -DQUELLON_WINDOWS_PREFIX="$prefix" -DQUELLON_WINDOWS_BENCHMARKS=$benchmarks_cmake >/dev/null
cmake --build "$out/third_party"

cmake -S "$root" -B "$out/app" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DJUCE_DIR="$(dirname "$(find /usr/lib -path '*/cmake/JUCE-*/JUCEConfig.cmake' | head -n 1)")" \
    -DQUELLON_WINDOWS_PREFIX="$prefix" \
    -DQUELLON_HOST_IMAGE_PACK_BUILDER="$out/host/tools/quellon_image_pack_builder" \
    -DQUELLON_FIRMWARE_IMAGE="${QUELLON_FIRMWARE_IMAGE:-}" \
    -DQUELLON_BUILD_TESTS=ON -DQUELLON_BUILD_BENCHMARKS=$benchmarks_cmake
if [ "$with_tests" = yes ]; then
    cmake --build "$out/app"
else
    targets=(QuellonEditor)
    [ "$with_benchmarks" = yes ] && targets+=(job_bench plain_window_reference quellon_hidapi_shim)
    cmake --build "$out/app" --target "${targets[@]}"
fi

# By its place, not by name: the tests keep copies of the program in the build folder.
exe="$out/app/Source/QuellonEditor_artefacts/Release/Quellon Editor.exe"
version="$(sed -n 's/^project(QuellonEditor VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
rm -rf "$dist/windows"
mkdir -p "$dist/windows"
x86_64-w64-mingw32-strip -o "$dist/windows/Quellon Editor.exe" "$exe"
cp "$prefix/bin/hidapi.dll" "$dist/windows/"
zip_file="$dist/Quellon-Editor-$version-windows-x86_64.zip"
rm -f "$zip_file"
(cd "$dist/windows" && zip -q -9 "$zip_file" "Quellon Editor.exe" hidapi.dll)
echo "The Windows program is in $dist/windows/ and $zip_file"
