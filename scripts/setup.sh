#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent: packages already
# present are skipped, and the package index is refreshed at most once per run.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang-format
  qt6-base-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  gstreamer1.0-plugins-bad gstreamer1.0-libav gstreamer1.0-plugins-base-apps
  gstreamer1.0-tools gstreamer1.0-x
  libtinyxml-dev libsimpleini-dev libicu-dev
  libsqlite3-dev libssl-dev sqlite3
  libopencv-video-dev libopencv-imgproc-dev
  libgstrtspserver-1.0-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-noto-cjk xvfb xauth x11-utils
  desktop-file-utils dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
