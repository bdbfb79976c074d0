#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root (or with
# sudo), and only what is missing. It says first what it installs and about
# how long that takes, and leaves apt's own progress on the screen.
set -euo pipefail

packages=(cmake make g++ clang libclang-rt-14-dev googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64
          wine wine32:i386 wine64 xvfb xauth fonts-ipafont-gothic fonts-wine imagemagick
          python3 python3-matplotlib python3-mido zip locales planetblupi-music-midi openttd-openmsx)
# Without the recommended packages: fluidsynth's would bring a desktop's worth.
bare=(fluidsynth)

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=() missing_bare=()
for package in "${packages[@]}"; do installed "$package" || missing+=("$package"); done
for package in "${bare[@]}"; do installed "$package" || missing_bare+=("$package"); done
if [ $((${#missing[@]} + ${#missing_bare[@]})) -ne 0 ]; then
    echo "installing $((${#missing[@]} + ${#missing_bare[@]})) Debian packages with apt (${missing[*]} ${missing_bare[*]}); on a fresh machine this takes about 3 minutes"
    dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
    # A mirror caught mid-sync fails one index or another for a minute or
    # so: tried again, and if one still fails, the install says whether a
    # package is really missing.
    for try in 1 2 3; do
        $SUDO apt-get update && break
        [ "$try" = 3 ] && { echo "install-deps: apt-get update failed 3 times; installing from the lists apt has" >&2; break; }
        echo "install-deps: apt-get update failed; trying again in 20 s" >&2
        sleep 20
    done
    if [ ${#missing[@]} -ne 0 ] && ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"; then
        # An i386 index that would not download (a mirror caught mid-sync)
        # leaves the i386 packages unmatched with the amd64 ones. Without
        # them the tests take the x64-only road, as on a machine that runs
        # no 32-bit code, and say so.
        native=()
        for package in "${missing[@]}"; do
            case $package in *:i386) ;; *) native+=("$package") ;; esac
        done
        [ ${#native[@]} -ne ${#missing[@]} ] || exit 1
        echo "install-deps: the i386 packages could not be installed (apt says why above); going on without 32-bit Wine: only the x64 DLL will run under Wine" >&2
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${native[@]}"
    fi
    [ ${#missing_bare[@]} -eq 0 ] ||
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing_bare[@]}"
fi

# Wine names files in the system's locale: without ja_JP.UTF-8 generated, a
# Japanese file name (a host called ソ.exe) cannot be made at all.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "generating the ja_JP.UTF-8 locale"
    $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 ||
        echo "install-deps: could not generate ja_JP.UTF-8; Japanese file names will fail under Wine" >&2
fi
