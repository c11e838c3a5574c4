#!/usr/bin/env bash
# Installs the Debian packages Keelpack builds, tests and runs with, when any is missing.
# Quick when everything is there: one dpkg-query call.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  clang libclang-rt-14-dev            # sanitizer build and libFuzzer targets
  clang-format                        # the format check
  qt6-base-dev xdg-utils              # the desktop window; xdg-open shows the log file
  libxcb1-dev                         # asks X11 whether a compositing manager runs
  qt6-svg-dev                         # renders the icon's sizes from its SVG at build time
  dpkg-dev desktop-file-utils         # the Debian package and the check of its menu entry
  groff-base man-db                   # the check of the manual page
  libturbojpeg0-dev libjpeg62-turbo-dev libjpeg-turbo-progs
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  nlohmann-json3-dev                  # the command line's JSON records
  libimage-exiftool-perl exiv2        # independent readers of the Exif blocks we write
)

installed=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null |
  awk '$2 == "installed" { print $1 }' || true)
missing=()
for p in "${packages[@]}"; do
  grep -qx "$p" <<<"$installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
