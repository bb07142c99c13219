#!/usr/bin/env bash
# After `make package`: installs the .deb the way a user does (apt-get install ./….deb), uses
# the installed programs (the command line's --version, its bash completion, a chk join / list
# / extract / join round trip, the window started once on the offscreen platform with SDL's
# dummy output and a fresh HOME), then removes the package and checks that none of its files
# remain while the user's folder stays. Needs root or sudo; CI runs it on a fresh machine.
#
#   PACKAGE_BUILD_DIR   build folder of `make package` (default build)
set -euo pipefail

cd "$(dirname "$0")/.."
BUILD=${PACKAGE_BUILD_DIR:-build}
SUDO=$([ "$(id -u)" = 0 ] || echo sudo)
fail() { echo "check-deb: $*" >&2; exit 1; }

deb=$(ls "$PWD/$BUILD"/package/tollvik-alerts_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || fail "no .deb in $BUILD/package/: run make package first"
version=$(dpkg-deb -f "$deb" Version)
dpkg-query -W -f='${Status}' tollvik-alerts 2>/dev/null | grep -q 'ok installed' && fail "tollvik-alerts is installed already"

work=$(mktemp -d)
chmod 755 "$work" # apt's sandbox user reads the .deb from here
cleanup() {
    dpkg-query -W -f='${Status}' tollvik-alerts 2>/dev/null | grep -q "ok installed" &&
        $SUDO apt-get remove -y -qq tollvik-alerts >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cp "$deb" "$work/"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    "$work/$(basename "$deb")" >/dev/null
dpkg -L tollvik-alerts >"$work/files"

# The installed programs, found on PATH.
[ "$(command -v tollvik-alerts-cli)" = /usr/bin/tollvik-alerts-cli ] ||
    fail "tollvik-alerts-cli is not /usr/bin/tollvik-alerts-cli"
[ "$(tollvik-alerts-cli --version)" = "tollvik-alerts-cli $version" ] ||
    fail "tollvik-alerts-cli --version does not print $version"
[ "$(tollvik-alerts --version)" = "tollvik-alerts $version" ] ||
    fail "tollvik-alerts --version does not print $version"

# Completion: bash-completion's loader finds it by the command's name and it offers the chk
# subcommands.
completed=$(bash -c 'source /usr/share/bash-completion/bash_completion
    _completion_loader tollvik-alerts-cli
    COMP_WORDS=(tollvik-alerts-cli chk ""); COMP_CWORD=2; COMP_LINE="tollvik-alerts-cli chk "
    COMP_POINT=${#COMP_LINE}; _tollvik_alerts_cli; echo "${COMPREPLY[*]}"' 2>&1)
[ "$completed" = "list extract build join --help" ] || fail "bash completion of chk gives '$completed'"

# A generated archive: joined, listed, extracted and joined again to the same bytes.
mkdir "$work/in"
printf 'tollvik-alerts chk index 1\n' >"$work/in/index.txt"
for i in 1 2 3; do
    head -c $((i * 1000)) /dev/urandom >"$work/in/$i.bin"
    echo "entry $i.bin" >>"$work/in/index.txt"
done
tollvik-alerts-cli chk join "$work/in" -o "$work/a.chk" >/dev/null
tollvik-alerts-cli chk list --all "$work/a.chk" >"$work/list"
[ "$(grep -c ' data$' "$work/list")" -eq 3 ] || { cat "$work/list"; fail "chk list shows no 3 entries"; }
tollvik-alerts-cli chk extract --all "$work/a.chk" "$work/out" >/dev/null
tollvik-alerts-cli chk join "$work/out" -o "$work/b.chk" >/dev/null
cmp -s "$work/a.chk" "$work/b.chk" || fail "chk extract and join do not give the archive back"

# The window, once, as a user with a fresh home folder: it must still be running after 3 s and
# have made its folder in the user's data folder, and nothing beside the executable.
home="$work/home"
mkdir -p "$home" "$work/runtime"
chmod 700 "$work/runtime"
status=0
(cd / && env -u XDG_DATA_HOME HOME="$home" XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
    timeout -k 5 3 tollvik-alerts >"$work/run.log" 2>&1) || status=$?
[ "$status" -eq 124 ] || { cat "$work/run.log" >&2; fail "the installed window ended with $status"; }
userdir="$home/.local/share/tollvik-alerts"
[ -s "$userdir/Tollvik.ini" ] || fail "the installed window made no $userdir/Tollvik.ini"
[ -d "$userdir/Temp" ] && [ -d "$userdir/Modified" ] || fail "no Temp/ and Modified/ in $userdir"
for f in /usr/bin/Tollvik.ini /usr/bin/Temp /usr/bin/Modified; do
    [ ! -e "$f" ] || fail "the installed window wrote $f"
done

# Removed: none of its files remain, the user's folder stays.
DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y -qq tollvik-alerts >/dev/null
while read -r path; do
    [ -d "$path" ] && continue # folders the package shares with others
    [ ! -e "$path" ] || fail "$path remains after apt-get remove"
done <"$work/files"
for d in /usr/lib/*/tollvik-alerts /usr/share/doc/tollvik-alerts; do
    [ ! -e "$d" ] || fail "$d remains after apt-get remove"
done
[ -s "$userdir/Tollvik.ini" ] || fail "apt-get remove took the user's folder"
echo "check-deb: $deb installed, used, started and removed cleanly"
