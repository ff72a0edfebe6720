#!/usr/bin/env bash
# Builds the Debian package from the build tree's binaries (cpack -G DEB), checks its
# files and dependencies, unpacks it into a temporary root and runs the unpacked
# executable: it must count as installed and keep its files in the user's folders.
# Usage: package_test.sh <build folder> <version>
set -euo pipefail
build=${1:?usage: package_test.sh <build folder> <version>}
version=${2:?}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    exit 1
fi
deb=$(echo "$tmp"/out/OrvexClient-"$version"-*.deb)
[ -f "$deb" ] || { echo "FAIL: no package in $tmp/out"; ls "$tmp/out"; exit 1; }

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort | tr '\n' ' ')
want="./usr/bin/OrvexClient ./usr/share/applications/orvexclient.desktop \
./usr/share/icons/hicolor/48x48/apps/orvexclient.png \
./usr/share/icons/hicolor/scalable/apps/orvexclient.svg "
[ "$files" = "$want" ] || fail "the package holds: $files"

[ "$(dpkg-deb -f "$deb" Package)" = orvexclient ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
# From the linked libraries (shlibdeps), then the plugins and the font listed by hand.
for package in libqt6widgets6 libqt6gui6 libgstreamer1.0-0 libgstreamer-plugins-base1.0-0 \
    libtinyxml2.6.2v5 libsimpleini1 gstreamer1.0-plugins-base gstreamer1.0-plugins-good \
    gstreamer1.0-plugins-ugly gstreamer1.0-plugins-bad gstreamer1.0-libav gstreamer1.0-x \
    fonts-noto-cjk; do
    grep -qE "(^|[ ,|])$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done

dpkg-deb -x "$deb" "$tmp/root"
desktop-file-validate "$tmp/root/usr/share/applications/orvexclient.desktop" ||
    fail "the installed desktop entry does not validate"

exe=$tmp/root/usr/bin/OrvexClient
mkdir -p "$tmp/home"
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_CONFIG_HOME -u XDG_STATE_HOME HOME="$tmp/home" "$@"; }
[ "$(run "$exe" --version)" = "OrvexClient $version" ] || fail "--version: $(run "$exe" --version)"

# Root may write the unpacked bin/, yet the copy is installed: the desktop entry marks it.
want="settings file: $tmp/home/.config/OrvexClient/OrvexCfg.ini
camera list:   $tmp/home/.config/OrvexClient/CameraList.xml
log folder:    $tmp/home/.local/state/OrvexClient/Log
recordings:    $tmp/home/Videos/录像"
got=$(run env -u XDG_VIDEOS_DIR "$exe" --paths) || fail "--paths failed"
[ "$got" = "$want" ] || fail "--paths printed:
$got"
got=$(run env XDG_CONFIG_HOME="$tmp/cfg" XDG_STATE_HOME="$tmp/state" "$exe" --paths | head -3)
want="settings file: $tmp/cfg/OrvexClient/OrvexCfg.ini
camera list:   $tmp/cfg/OrvexClient/CameraList.xml
log folder:    $tmp/state/OrvexClient/Log"
[ "$got" = "$want" ] || fail "--paths with XDG folders printed:
$got"
[ -z "$(ls -A "$tmp/home")" ] || fail "--paths created files under HOME"

[ "$failures" -eq 0 ] && echo "package $(basename "$deb"): files, dependencies and the unpacked program pass"
exit $((failures > 0))
