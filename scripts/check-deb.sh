#!/usr/bin/env bash
# Builds Keelpack's Debian package, installs it into this system, checks what it installed
# and runs the command line, then removes the package and checks that none of its files is
# left. It installs and removes a system package: run it as root (or with sudo) on a machine
# or container that may be changed, and not where Keelpack is installed for real.
#   scripts/check-deb.sh            build the package and check it
#   scripts/check-deb.sh FILE.deb   check a package built before, for instance on a fresh
#                                   machine: only the checking tools are installed then
set -euo pipefail
given=""
[ $# -ge 1 ] && given=$(realpath "$1")
cd "$(dirname "$0")/.."

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
package=keelpack
failures=0
step() { printf '\n== %s\n' "$*"; }
ok() { printf 'ok    %s\n' "$*"; }
bad() {
  printf 'FAIL  %s\n' "$*"
  failures=$((failures + 1))
}
installed() { dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed; }

if [ -n "$given" ]; then
  missing=()
  for tool in desktop-file-utils man-db groff-base; do
    dpkg-query -W -f='${db:Status-Status}' "$tool" 2>/dev/null | grep -qx installed ||
      missing+=("$tool")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      "${missing[@]}"
  fi
else
  scripts/ensure-deps.sh
fi
if installed; then
  echo "$package is installed already; this check would remove it. Remove it first." >&2
  exit 2
fi

if [ -n "$given" ]; then
  deb=$given
else
  step "Building the package"
  [ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build -j "$(nproc)"
  rm -rf build/packages
  (cd build && cpack -G DEB)
  deb=$(realpath build/packages/${package}_*.deb)
fi
dpkg-deb --info "$deb"

step "Installing $(basename "$deb")"
# apt-get rather than dpkg -i, so that the dependencies come along on a fresh machine.
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get install -y -qq --no-install-recommends "$deb"
installed && ok "dpkg lists $package as installed" || bad "$package is not installed"
mapfile -t files < <(dpkg -L "$package" | while read -r path; do
  [ -d "$path" ] || echo "$path"
done)
printf '%s files installed\n' "${#files[@]}"

step "Programs"
for program in keelpack keelpack-cli; do
  path=$(command -v "$program" || true)
  if [ "$path" = "/usr/bin/$program" ]; then
    ok "$program is /usr/bin/$program"
  else
    bad "$program is not on the PATH as /usr/bin/$program (found: ${path:-nothing})"
    continue
  fi
  missing=$(ldd "$path" | grep 'not found' || true)
  [ -z "$missing" ] && ok "$program finds all its libraries" || bad "$program lacks: $missing"
done

# Everything below runs with a scratch home, so that no settings or log file is left behind.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
run() { env HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache" "$@"; }

if command -v keelpack-cli >/dev/null; then
  if version=$(run keelpack-cli --version 2>&1); then
    echo "$version"
    grep -q "$(dpkg-query -W -f='${Version}' "$package")" <<<"$version" &&
      ok "keelpack-cli --version names the package's version" ||
      bad "keelpack-cli --version does not name version $(dpkg-query -W -f='${Version}' "$package")"
  else
    bad "keelpack-cli --version failed: $version"
  fi
  if help=$(run keelpack-cli --help 2>&1); then
    printf '%s\n' "$help" | head -n 40
    for option in --exif --icc --output --log-level --help --version; do
      grep -q -- "$option" <<<"$help" || bad "keelpack-cli --help does not mention $option"
    done
    ok "keelpack-cli --help"
  else
    bad "keelpack-cli --help failed: $help"
  fi
fi

if command -v keelpack >/dev/null; then
  for option in --help --version; do
    if out=$(run env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM keelpack "$option") && [ -n "$out" ]; then
      ok "keelpack $option prints and exits 0 without a display"
    else
      bad "keelpack $option failed without a display: $out"
    fi
  done
  # The window has no display here; the offscreen platform shows that it starts and stays up
  # until it is stopped.
  status=0
  run env QT_QPA_PLATFORM=offscreen timeout 5 keelpack >/dev/null 2>&1 || status=$?
  [ "$status" -eq 124 ] && ok "keelpack starts and keeps running" ||
    bad "keelpack ended on its own with status $status"
fi

step "Menu entry, icon and manual page"
desktop=/usr/share/applications/keelpack.desktop
if [ -f "$desktop" ]; then
  # Hints are advice (two main categories, as asked for, draw one); errors and warnings fail.
  if report=$(desktop-file-validate "$desktop" 2>&1) && ! grep -qE '(error|warning):' <<<"$report"; then
    ok "desktop-file-validate $desktop"
    [ -z "$report" ] || printf '      %s\n' "$report"
  else
    bad "desktop-file-validate: $report"
  fi
  for key in "Name=Keelpack" "Exec=keelpack %F" "Icon=keelpack" "Categories=Graphics;Utility;" \
    "MimeType=image/jpeg;inode/directory;"; do
    grep -qx "$key" "$desktop" || bad "$desktop lacks $key"
  done
else
  bad "no $desktop"
fi
for size in 16 32 48 64 128 256; do
  icon=/usr/share/icons/hicolor/${size}x${size}/apps/keelpack.png
  [ -f "$icon" ] || bad "no $icon"
done
[ -f /usr/share/icons/hicolor/scalable/apps/keelpack.svg ] || bad "no scalable icon"
ok "icons checked"
manual=$(man -w keelpack-cli 2>/dev/null || true)
if [ "$manual" = /usr/share/man/man1/keelpack-cli.1.gz ]; then
  ok "man finds $manual"
  warnings=$(zcat "$manual" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] && ok "groff formats the page without warnings" || bad "groff: $warnings"
  MANWIDTH=80 man -l "$manual" 2>/dev/null | head -n 12
else
  bad "man does not find keelpack-cli (found: ${manual:-nothing})"
fi

step "Removing the package"
$sudo dpkg -r "$package"
installed && bad "$package is still installed" || ok "$package is removed"
left=0
for path in "${files[@]}"; do
  if [ -e "$path" ] || [ -L "$path" ]; then
    bad "left behind: $path"
    left=$((left + 1))
  fi
done
[ "$left" -eq 0 ] && ok "none of the ${#files[@]} files is left"
for program in keelpack keelpack-cli; do
  ! command -v "$program" >/dev/null || bad "$program is still on the PATH"
done

echo
if [ "$failures" -eq 0 ]; then
  echo "The package built, installed, ran and removed cleanly."
else
  echo "$failures check(s) failed."
  exit 1
fi
