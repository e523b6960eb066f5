# Installs the Debian packages Tamvolo needs, only those that are missing.
# Sourced by run.sh and test.sh.

# What building and running need: the compiler and CMake, Qt, SDL, the
# PipeWire, PulseAudio and D-Bus client libraries, fonts and Qt's
# translations. Never a sound server, a compositor, a window manager, an X
# server or a test tool: a desktop has its own, and a second PulseAudio
# would compete with its pipewire-pulse at the next login.
tamvolo_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev qt6-translations-l10n qt6-wayland
  libsdl2-dev libasound2-dev libdbus-1-dev libpulse-dev libpipewire-0.3-dev libsndfile1-dev libsamplerate0-dev libarchive-dev
  fonts-liberation2 fonts-dejavu-core fonts-dejavu-extra
  libxcb1-dev libxcb-shape0-dev
)

# What the tests add: the sound servers they start privately (PulseAudio;
# PipeWire with wireplumber and pipewire-pulse, and its tools; JACK's
# example clients and pw-jack, the floor the MIDI benchmark compares with; RTKit, with
# the polkitd it brings, on a private system bus), the virtual X
# server, the desktops (openbox with a tray, a compositing manager, weston),
# the tools that drive the window and look at it, clang for the fuzzers,
# what builds and checks the Debian package (and renders its manual page)
# and the desktop's databases its test reads, and Debian's Hydrogen drumkits,
# loaded as a user's kits would be.
tamvolo_test_packages=(
  xvfb xauth xdotool imagemagick libxtst-dev x11-utils wmctrl
  openbox trayer xcompmgr weston
  pulseaudio pulseaudio-utils pipewire pipewire-bin wireplumber pipewire-pulse dbus-daemon rtkit
  pipewire-jack jackd2
  clang libclang-rt-14-dev
  debhelper lintian appstream desktop-file-utils dpkg-dev git shared-mime-info libglib2.0-bin groff-base
  hydrogen-data hydrogen-drumkits
)

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
