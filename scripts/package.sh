#!/usr/bin/env bash
# make package: with CPack, into build/package/,
# - the portable folder (executable, audio library, converter module, Temp/, Modified/, manual
#   pages, desktop entry, icon) as a .tar.gz, then checks that it is relocatable: no run path
#   into the build folder, and unpacked into a temporary folder elsewhere it starts on the
#   offscreen platform with SDL's dummy output and creates its settings file there;
# - the installed tree as a .deb, then checks it with lintian, desktop-file-validate and
#   appstreamcli: any error fails the script (scripts/check-deb.sh installs and removes it).
#
#   PACKAGE_BUILD_DIR   build folder (default build; configured RelWithDebInfo when new)
set -euo pipefail

cd "$(dirname "$0")/.."
SOURCE=$PWD
BUILD=${PACKAGE_BUILD_DIR:-build}
fail() { echo "package: $*" >&2; exit 1; }

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
else
    cmake "$BUILD" >/dev/null
fi
cmake --build "$BUILD" --target tollvik-alerts tollvik-alerts-cli bass tollvik-convert \
    tollvik-compressed-docs
BUILD_ABS=$(cd "$BUILD" && pwd)
rm -rf "$BUILD_ABS/package"
(cd "$BUILD_ABS" && cpack -G TGZ --config CPackConfig.cmake >/dev/null)
(cd "$BUILD_ABS" && cpack -G DEB --config CPackConfig.cmake >/dev/null)
tarball=$(ls "$BUILD_ABS"/package/tollvik-alerts-*.tar.gz 2>/dev/null | head -n1)
[ -n "$tarball" ] || fail "CPack made no .tar.gz"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tar -xzf "$tarball" -C "$work"
top=$(find "$work" -mindepth 1 -maxdepth 1 -type d)
[ "$(echo "$top" | wc -l)" -eq 1 ] || fail "the archive must hold one top-level folder"

for f in tollvik-alerts tollvik-alerts-cli libbass.so libtollvik-convert.so tollvik-alerts.desktop \
    tollvik-alerts.svg man/man1/tollvik-alerts-cli.1 man/man1/tollvik-alerts.1; do
    [ -f "$top/$f" ] || fail "$f is missing from the folder"
done
for d in Temp Modified; do
    [ -d "$top/$d" ] || fail "the folder $d/ is missing"
done
[ -x "$top/tollvik-alerts" ] || fail "tollvik-alerts is not executable"

# Run paths: none, or only relative to the file's own folder; never the build or source folder.
for f in tollvik-alerts tollvik-alerts-cli libbass.so libtollvik-convert.so; do
    paths=$(readelf -d "$top/$f" | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]/\2/p')
    if [ -n "$paths" ]; then
        IFS=: read -ra entries <<<"$paths"
        for p in "${entries[@]}"; do
            case $p in
                '$ORIGIN' | '$ORIGIN'/*) ;;
                *) fail "$f has the run path '$p'" ;;
            esac
        done
    fi
    readelf -d "$top/$f" | grep -qF "$BUILD_ABS" && fail "$f refers to $BUILD_ABS"
    echo "run path of $f: ${paths:-none}"
done
ldd "$top/tollvik-alerts" | grep -qF -e "$BUILD_ABS" -e "$SOURCE" &&
    fail "tollvik-alerts resolves a library from the build tree"

# Start it from another folder: it must still be running after 2 s and have made its settings
# file in the unpacked folder.
runtime="$work/runtime"
mkdir -m 700 "$runtime"
status=0
(cd / && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR="$runtime" \
    timeout -k 5 2 "$top/tollvik-alerts" >"$work/run.log" 2>&1) || status=$?
if [ "$status" -eq 137 ]; then
    fail "the unpacked program ignored SIGTERM and had to be killed"
elif [ "$status" -ne 124 ]; then
    cat "$work/run.log" >&2
    fail "the unpacked program ended within 2 s (exit status $status)"
fi
[ -s "$top/Tollvik.ini" ] || fail "the unpacked program made no Tollvik.ini in its folder"
[ ! -e "$BUILD_ABS/bin/Tollvik.ini" ] || [ "$BUILD_ABS/bin/Tollvik.ini" -ot "$tarball" ] ||
    fail "the unpacked program wrote its settings into the build folder"

echo "package: $tarball"
echo "package: unpacked in a temporary folder, ran 2 s offscreen and wrote its Tollvik.ini there"

# The .deb: the tools Debian and the desktops check packages with. Warnings are printed; the
# README's packaging section gives the reason for each one left.
deb=$(ls "$BUILD_ABS"/package/tollvik-alerts_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || fail "CPack made no .deb"
dpkg-deb -x "$deb" "$work/deb"
for f in usr/bin/tollvik-alerts usr/bin/tollvik-alerts-cli; do
    readelf -d "$work/deb/$f" | grep -qF "$BUILD_ABS" && fail "$f in the .deb refers to $BUILD_ABS"
done
# The texts that name the version by hand name the project's version.
version=$(dpkg-deb -f "$deb" Version)
head -n1 packaging/changelog | grep -qF "tollvik-alerts ($version)" ||
    fail "packaging/changelog does not begin with version $version"
grep -qF "<release version=\"$version\"" packaging/*.metainfo.xml ||
    fail "the metainfo has no release $version"
for page in packaging/tollvik-alerts.1 cli/tollvik-alerts-cli.1; do
    grep -q "^\.TH .*\"Tollvik Alerts $version\"" "$page" || fail "$page is not of version $version"
done
lintian --fail-on error "$deb" ||
    fail "lintian reports an error in $deb"
desktop-file-validate "$work"/deb/usr/share/applications/*.desktop ||
    fail "desktop-file-validate refuses the desktop entry"
appstreamcli validate --no-net "$work"/deb/usr/share/metainfo/*.metainfo.xml ||
    fail "appstreamcli refuses the metainfo"
echo "package: $deb (lintian, desktop-file-validate and appstreamcli report no error)"
