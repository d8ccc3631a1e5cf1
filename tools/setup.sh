#!/usr/bin/env bash
# Installs what the build and the tests need, from Debian's packages only. Does nothing when
# everything is there already, so every make target can call it.
set -euo pipefail

packages=(
  cmake make g++ googletest      # native build and its tests
  mingw-w64 mingw-w64-tools      # cross compilers, windres, widl
  wine64                         # runs the x86_64 build and its tests
  util-linux                     # flock, for the test prefix
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
