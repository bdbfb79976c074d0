#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root (or with
# sudo), and only what is missing. It says first what it installs and about
# how long that takes, and leaves apt's own progress on the screen.
set -euo pipefail

packages=(cmake make g++ clang libclang-rt-14-dev googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64
          wine wine32:i386 wine64 xvfb xauth fonts-ipafont-gothic fonts-wine imagemagick
          python3 python3-matplotlib python3-mido zip planetblupi-music-midi openttd-openmsx)
# Without the recommended packages: fluidsynth's would bring a desktop's worth.
bare=(fluidsynth)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=() missing_bare=()
for package in "${packages[@]}"; do installed "$package" || missing+=("$package"); done
for package in "${bare[@]}"; do installed "$package" || missing_bare+=("$package"); done
[ $((${#missing[@]} + ${#missing_bare[@]})) -eq 0 ] && exit 0

echo "installing $((${#missing[@]} + ${#missing_bare[@]})) Debian packages with apt (${missing[*]} ${missing_bare[*]}); on a fresh machine this takes about 3 minutes"
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
$SUDO apt-get update
[ ${#missing[@]} -eq 0 ] || DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
[ ${#missing_bare[@]} -eq 0 ] ||
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing_bare[@]}"
