#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and benchmarking
# YUV Lumo needs. Does nothing when they are all present. Run as root (or
# with sudo available).
set -euo pipefail

packages=(
  build-essential cmake pkg-config git ca-certificates
  qtbase5-dev qtbase5-dev-tools libqt5opengl5-dev libqt5svg5
  # lupdate and lrelease for the English catalogue, and CMake's Qt5LinguistTools
  qttools5-dev-tools qttools5-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libavfilter-dev ffmpeg
  libstb-dev libpng-dev libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev libsqlite3-dev sqlite3 libcli11-dev nlohmann-json3-dev
  xvfb xauth x11-utils libgl1-mesa-dri libglx-mesa0 libegl-mesa0
  fonts-wqy-zenhei curl procps
  # Qt's own texts (file chooser, standard buttons) in Chinese
  qttranslations5-l10n
  # the Debian package and the checks of what it installs
  dpkg-dev file desktop-file-utils appstream shared-mime-info
  # tests of the many-pairs recipe and of the download page in a browser
  parallel jq chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root (missing: ${missing[*]})" >&2; exit 1; }
  SUDO=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
