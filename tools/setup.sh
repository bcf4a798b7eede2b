#!/usr/bin/env bash
# Installs what the build and the test runs need; does nothing when all is there.
set -euo pipefail

packages=(
  cmake ninja-build make
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine64 xvfb xauth x11-utils pulseaudio pulseaudio-utils
  locales fonts-ipafont-gothic imagemagick sox lame mpg123 zip xdotool
  googletest
)

# The original 32-bit target runs under Debian's 32-bit Wine.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  # A mirror in the middle of a sync fails the update now and then: try
  # again, and go on with the lists there are (the install says what lacks).
  for attempt in 1 2 3; do
    $sudo_cmd apt-get update -qq && break
    echo "setup: the package lists did not all download (try $attempt of 3)"
    sleep $((attempt * 10))
  done
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The 32-bit Wine apart: a mirror whose i386 lists are out of step must not
# keep the rest from installing. Without it the 32-bit suite says SKIPPED.
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  echo "setup: installing wine32:i386"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  if ! DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null; then
    $sudo_cmd apt-get update -qq || true
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null ||
      echo "setup: WARNING: wine32:i386 could not be installed; the 32-bit suite will be SKIPPED"
  fi
fi

# The ANSI code page under Wine follows LANG: ja_JP.UTF-8 gives code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "setup: generating ja_JP.UTF-8"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  if ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'ja_JP.UTF-8 UTF-8' | $sudo_cmd tee -a /etc/locale.gen >/dev/null
  fi
  $sudo_cmd locale-gen >/dev/null
fi
exit 0
