#!/usr/bin/env bash
# Installs the Debian packages Tamvolo needs to build, test and run, and only
# those that are missing. Sourced by run.sh and test.sh.

tamvolo_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev qt6-translations-l10n
  libsdl2-dev libasound2-dev libdbus-1-dev
  fonts-liberation2 fonts-dejavu-core fonts-dejavu-extra
  libxcb1-dev libxcb-shape0-dev
  xvfb xauth xdotool imagemagick libxtst-dev x11-utils wmctrl
  openbox trayer xcompmgr weston qt6-wayland
  pulseaudio pulseaudio-utils libpulse-dev libpipewire-0.3-dev
  clang libclang-rt-14-dev
)

# For the tests alone: a private PipeWire server. Not installed by run.sh, as
# pipewire-pulse would compete with a desktop's own PulseAudio at next login.
# And what builds and checks the Debian package (scripts/package.sh), and
# the desktop's type and application databases its test reads.
tamvolo_test_packages=(pipewire wireplumber pipewire-pulse dbus-daemon
  debhelper lintian appstream desktop-file-utils dpkg-dev git
  shared-mime-info libglib2.0-bin)

# tamvolo_setup [--tests]: with --tests, the test packages too.
tamvolo_setup() {
  local missing=() pkg wanted=("${tamvolo_packages[@]}")
  if [ "${1:-}" = "--tests" ]; then
    wanted+=("${tamvolo_test_packages[@]}")
  fi
  for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
  fi
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
