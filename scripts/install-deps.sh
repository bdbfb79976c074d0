#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root (or with
# sudo), and only what is missing. It says first what it installs and about
# how long that takes, and leaves apt's own progress on the screen.
set -euo pipefail

packages=(cmake make g++ clang libclang-rt-14-dev googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64
          wine wine32:i386 wine64 xvfb xauth fonts-ipafont-gothic fonts-wine imagemagick
          python3 python3-matplotlib python3-mido zip planetblupi-music-midi)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing ${#missing[@]} Debian packages with apt (${missing[*]}); on a fresh machine this takes about 3 minutes"
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
