#!/usr/bin/env bash
# tools/deb-src-entries.sh on the two layouts of apt's package sources that a
# Debian 12 machine may have, and apt accepts what it writes:
#   check_deb_src_entries.sh <tools/deb-src-entries.sh>
set -euo pipefail

derive="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0

# expect <apt dir> <format> <expected output>
expect() {
    local got
    got="$("$derive" "$2" "$1")"
    if [ "$got" != "$3" ]; then
        printf '%s %s:\n--- expected\n%s\n--- got\n%s\n' "$1" "$2" "$3" "$got"
        status=1
    fi
}

# apt itself reads the entries, offline, with nothing of the machine's set-up.
accepted_by_apt() {
    local etc="$work/apt-$1"
    mkdir -p "$etc/sources.list.d" "$work/state-$1/lists/partial" "$work/cache-$1"
    "$derive" deb822 "$2" > "$etc/sources.list.d/src.sources"
    "$derive" one-line "$2" > "$etc/sources.list.d/src.list"
    apt-get -o Dir::Etc="$etc" -o Dir::Etc::main=none -o Dir::Etc::parts=none \
        -o Dir::State="$work/state-$1" -o Dir::Cache="$work/cache-$1" indextargets > /dev/null \
        || { echo "apt refuses the entries derived from $2"; status=1; }
}

# A container image: deb822 files only.
image="$work/image"
mkdir -p "$image/sources.list.d"
cat > "$image/sources.list.d/debian.sources" <<'SOURCES'
Types: deb
# http://snapshot.debian.org/archive/debian/20250520T000000Z
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
SOURCES
cat > "$image/sources.list.d/extra.sources" <<'SOURCES'
Types: deb
URIs: cdrom:[Debian GNU/Linux 12]/
Suites: bookworm
Components: main
SOURCES
echo 'Types: deb' > "$image/sources.list.d/old.sources.disabled"

expect "$image" deb822 'Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg'
expect "$image" one-line ''
accepted_by_apt image "$image"

# A machine set up with Debian's installer: the one-line sources.list.
installed="$work/installed"
mkdir -p "$installed/sources.list.d"
cat > "$installed/sources.list" <<'LIST'
# deb cdrom:[Debian GNU/Linux 12.5.0 _Bookworm_ - Official amd64 DVD Binary-1 20240210-11:28]/ bookworm main

deb cdrom:[Debian GNU/Linux 12.5.0 _Bookworm_ - Official amd64 DVD Binary-1 20240210-11:28]/ bookworm main

deb http://deb.debian.org/debian/ bookworm main non-free-firmware
deb-src http://deb.debian.org/debian/ bookworm main non-free-firmware

   deb http://security.debian.org/debian-security  bookworm-security main non-free-firmware
# deb-src http://security.debian.org/debian-security bookworm-security main non-free-firmware
deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian/ bookworm-updates main # updates
LIST
echo 'deb [ arch=amd64 ] https://example.org/apt stable main' > "$installed/sources.list.d/extra.list"
echo 'deb https://example.org/old stable main' > "$installed/sources.list.d/extra.list.save"

expect "$installed" one-line 'deb-src http://security.debian.org/debian-security bookworm-security main non-free-firmware
deb-src [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian/ bookworm-updates main
deb-src [ arch=amd64 ] https://example.org/apt stable main'
expect "$installed" deb822 ''
accepted_by_apt installed "$installed"

exit $status
