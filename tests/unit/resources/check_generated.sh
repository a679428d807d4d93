#!/usr/bin/env bash
# The committed resources are what their generators make today:
#   check_generated.sh <cabinet generator> <firmware generator> <Resources folder>
set -euo pipefail

cabinets="$1" firmware="$2" resources="$3"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

"$cabinets" "$out/Cabinets"
"$firmware" "$out/PlaceholderFirmware.ldr"

status=0
for made in "$out"/Cabinets/*.cab; do
    cmp "$made" "$resources/Cabinets/$(basename "$made")" || status=1
done
[ "$(ls "$out/Cabinets" | wc -l)" -eq "$(ls "$resources/Cabinets" | wc -l)" ] || { echo "cabinet count differs"; status=1; }
cmp "$out/PlaceholderFirmware.ldr" "$resources/Firmware/PlaceholderFirmware.ldr" || status=1

if [ $status -ne 0 ]; then
    echo "Resources differ from their generators: remake them (README.md, \"Resources\") and commit both."
fi
exit $status
