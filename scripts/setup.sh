#!/usr/bin/env bash
# Installs what building and testing Stakka needs on Debian 12, if it is missing.
# Safe to run again: it only installs what is not there yet.
#   scripts/setup.sh        everything, 32-bit Wine beside 64-bit (scripts/wine32.sh), and libxmp
#                           for both targets
#   scripts/setup.sh game   only what building and running the game needs (scripts/run.sh);
#                           libxmp and 32-bit Wine are left to the caller
set -euo pipefail
mode=${1:-all}

need=(
  mingw-w64            # cross compilers, windres, dlltool
  wine wine64          # runs the Windows build and its tests
  xvfb xdotool         # end-to-end runs: a private X display and synthetic input
  imagemagick          # screenshots of the end-to-end runs, contact sheet
  googletest           # test framework sources, built with the cross compiler
  cmake ninja-build    # build system
  python3              # picture and music generators in tools/
  pulseaudio pulseaudio-utils sox  # recording the music through a private sound server
  dpkg-dev             # apt-get source (libxmp is built from Debian's source package)
  unzip zip nsis       # release packages
  7zip                 # lists the NSIS installers' contents in the release tests
)
if [ "$mode" = game ]; then
  need=(mingw-w64 wine wine64 cmake ninja-build python3 dpkg-dev)
fi

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "setup: system packages present"
if [ "$mode" != game ]; then
  # The i686 program that ships runs under 32-bit Wine. A machine that cannot run 32-bit
  # programs is said so in one line (exit 3) and keeps the x86_64 tree: not a failure here.
  "$(dirname "$0")/wine32.sh" ensure || [ $? -eq 3 ]
  "$(dirname "$0")/build-libxmp.sh"   # libxmp for midas11.dll, from Debian's source package, into .deps/
fi
