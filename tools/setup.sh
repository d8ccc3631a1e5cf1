#!/usr/bin/env bash
# Installs what the build and the tests need, from Debian's packages only. Does nothing when
# everything is there already, so every make target can call it.
set -euo pipefail

packages=(
  cmake make g++ googletest      # native build and its tests
  clang libclang-rt-14-dev       # the fuzz targets (libFuzzer with ASan and UBSan)
  mingw-w64 mingw-w64-tools      # cross compilers, windres, widl, windmc
  wine64                         # runs the x86_64 build and its tests
  wine32:i386                    # the 32-bit loader, for the shipped i686 build
  qemu-user                      # runs that loader: this kernel boots without 32-bit emulation
  wixl msitools                  # wixl builds the package, msiinfo reads it back
  osslsigncode openssl           # sign the package; the tests' throw-away certificate
  util-linux                     # flock, for the test prefix; unshare, for the 32-bit run
)

# bookworm's own qemu-user (7.2) takes about a minute per 32-bit Wine process; the backport
# (10.0, statically linked) a third of a second. The suite is added for that package alone.
backports_source=/etc/apt/sources.list.d/pivotra-bookworm-backports.sources
backports_pin=/etc/apt/preferences.d/pivotra-bookworm-backports
backports_wanted=1:10

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
if installed qemu-user && dpkg --compare-versions \
    "$(dpkg-query -W -f='${Version}' qemu-user)" lt "$backports_wanted"; then
  missing+=(qemu-user)
fi
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
if [ ! -e "$backports_source" ]; then
  "${sudo[@]}" tee "$backports_source" >/dev/null <<'EOF'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  "${sudo[@]}" tee "$backports_pin" >/dev/null <<'EOF'
Package: *
Pin: release n=bookworm-backports
Pin-Priority: -1

Package: qemu-user
Pin: release n=bookworm-backports
Pin-Priority: 990
EOF
fi

# A mirror in the middle of a sync serves index files of the wrong size ("Mirror sync in
# progress?"): ask again after a pause, then go on with the lists that came.
update_lists() {
  local attempt
  for attempt in 1 2 3; do
    "${sudo[@]}" apt-get update && return 0
    if [ "$attempt" -lt 3 ]; then
      echo "setup: some package lists did not come; asking again in $((attempt * 20)) s"
      sleep $((attempt * 20))
    fi
  done
  echo "setup: going on with the package lists that came" >&2
}

install_missing() {
  "${sudo[@]}" apt-get install -y --no-install-recommends "$@" "${missing[@]}"
}

update_lists
# wine32 pulls i386 libraries whose amd64 twins must be the same point release: let apt upgrade
# those in the same transaction. When the security suite's i386 list is the one that did not
# come, the twins only match in bookworm's own release, so that is the second try.
if ! install_missing; then
  echo "setup: trying once more with bookworm's own versions"
  install_missing -t bookworm
fi

version=$(dpkg-query -W -f='${Version}' qemu-user)
if dpkg --compare-versions "$version" lt "$backports_wanted"; then
  echo "setup: qemu-user $version came from bookworm; the 32-bit tests need 10.0 from" \
       "bookworm-backports, which this machine's package sources did not offer" >&2
  exit 1
fi
