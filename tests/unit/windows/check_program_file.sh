#!/usr/bin/env bash
# A Windows program file needs nothing but Windows' own DLLs and ours:
#   check_program_file.sh <objdump> <file> [--resources]
# Every imported DLL must be a system DLL or hidapi.dll (no MinGW runtime
# DLL, which no Windows machine has). With --resources the file must also
# carry the image pack as resource 678 of type RT_RCDATA and an icon.
set -euo pipefail

objdump="$1" file="$2"
dump="$("$objdump" -p "$file")"

system_dlls=" advapi32.dll comdlg32.dll dxgi.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll"
system_dlls+=" oleaut32.dll shell32.dll shlwapi.dll user32.dll version.dll wininet.dll winmm.dll ws2_32.dll"
system_dlls+=" wsock32.dll setupapi.dll hid.dll cfgmgr32.dll ntdll.dll "
status=0
imports="$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')"
[ -n "$imports" ] || { echo "$file: no import table found"; exit 1; }
for dll in $imports; do
    case "$system_dlls" in
        *" $dll "*) ;;
        *) [ "$dll" = hidapi.dll ] || { echo "$file imports $dll, which is no Windows system DLL"; status=1; } ;;
    esac
done

if [ "${3:-}" = --resources ]; then
    # The resource tree: types at the top level (3 ICON, 10 RCDATA, 14 GROUP_ICON),
    # then the names of each type.
    tree="$(printf '%s\n' "$dump" | sed -n '/The .rsrc Resource Directory section/,/Resources start at/p')"
    types="$(printf '%s\n' "$tree" | sed -n 's/^[0-9a-f]*   Entry: ID: \(0x[0-9a-f]*\),.*/\1/p')"
    for type in 0x000003 0x00000a 0x00000e; do
        printf '%s\n' "$types" | grep -qx "$type" || { echo "$file has no resources of type $type"; status=1; }
    done
    rcdata_names="$(printf '%s\n' "$tree" | awk '
        /^[0-9a-f]+   Entry: ID: / { inRcdata = ($4 == "0x00000a,") }
        inRcdata && /^[0-9a-f]+     Entry: ID: / { print $4 }')"
    printf '%s\n' "$rcdata_names" | grep -qx '0x0002a6,' || { echo "$file has no RCDATA resource 678"; status=1; }
fi

exit $status
