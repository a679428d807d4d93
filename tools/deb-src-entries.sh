#!/usr/bin/env bash
# Prints a deb-src entry for every Debian package source of the machine, so
# that `apt-get source` can fetch from the same mirrors:
#   deb-src-entries.sh deb822|one-line [APT_DIR]
# deb822: the stanzas of APT_DIR/sources.list.d/*.sources (container images,
#   newer installs), as a .sources file;
# one-line: the lines of APT_DIR/sources.list and sources.list.d/*.list (what
#   the Debian 12 installer writes), as a .list file.
# Each entry keeps its options (keys, architectures) word for word. Sources
# that already have a deb-src entry, and CD-ROMs, which carry no sources, are
# left out. APT_DIR defaults to /etc/apt.
set -euo pipefail

format="${1:-}"
dir="${2:-/etc/apt}"

files() {
    local f
    for f in "$@"; do
        [ -f "$f" ] && printf '%s\n' "$f"
    done
    return 0
}

case "$format" in
    deb822)
        mapfile -t inputs < <(files "$dir"/sources.list.d/*.sources)
        [ ${#inputs[@]} -gt 0 ] || exit 0
        awk '
            function flush(   i) {
                if (n > 0 && deb && !src && !cdrom) {
                    if (printed++) print ""
                    for (i = 1; i <= n; i++) print stanza[i]
                }
                n = 0; deb = 0; src = 0; cdrom = 0
            }
            FNR == 1 { flush() }
            /^[ \t]*$/ { flush(); next }
            /^#/ { next }
            {
                stanza[++n] = $0
                key = tolower($0); sub(/:.*/, "", key)
                value = $0; sub(/^[^:]*:/, "", value)
                count = split(value, words, /[ \t]+/)
                if (key == "types") {
                    for (i = 1; i <= count; i++) {
                        if (words[i] == "deb") deb = 1
                        if (words[i] == "deb-src") src = 1
                    }
                    stanza[n] = "Types: deb-src"
                }
                if (key == "uris")
                    for (i = 1; i <= count; i++)
                        if (words[i] ~ /^cdrom:/) cdrom = 1
            }
            END { flush() }
        ' "${inputs[@]}"
        ;;
    one-line)
        mapfile -t inputs < <(files "$dir"/sources.list "$dir"/sources.list.d/*.list)
        [ ${#inputs[@]} -gt 0 ] || exit 0
        awk '
            { sub(/#.*/, ""); $1 = $1 }
            $1 == "deb-src" { present[$0] = 1; next }
            $1 != "deb" { next }
            {
                # The URI follows the options, which may hold spaces: [ a=b c=d ].
                uri = 2
                if ($2 ~ /^\[/) {
                    while (uri < NF && $uri !~ /\]$/) uri++
                    uri++
                }
                if ($uri ~ /^cdrom:/) next
                $1 = "deb-src"
                if (!($0 in seen)) { seen[$0] = 1; wanted[++count] = $0 }
            }
            END { for (i = 1; i <= count; i++) if (!(wanted[i] in present)) print wanted[i] }
        ' "${inputs[@]}"
        ;;
    *)
        echo "usage: deb-src-entries.sh deb822|one-line [APT_DIR]" >&2
        exit 2
        ;;
esac
