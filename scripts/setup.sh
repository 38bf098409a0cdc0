#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, and only what is missing.
# Safe to run again: a machine that already has everything makes no apt-get call at all.
set -euo pipefail

packages=(
  cmake ninja-build g++ python3
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev libpugixml-dev
  g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine32:i386 wine64
  xvfb xauth x11-apps imagemagick
  gcab msitools wixl
  xorriso osslsigncode openssl
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ "$need_i386" -eq 0 ] && [ "${#missing[@]}" -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

if [ "$need_i386" -eq 1 ]; then
  echo "setup: adding the i386 architecture"
  as_root dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"
# A mirror in the middle of a sync refuses an index now and then: try again, and then go on with
# the indexes that did arrive (the install says plainly if a package cannot be had).
updated=0
for attempt in 1 2 3; do
  if as_root apt-get update -q; then updated=1; break; fi
  echo "setup: the package indexes did not all arrive (attempt $attempt)"
  sleep $((attempt * 5))
done
install_missing() { as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$@" "${missing[@]}"; }
if [ "$updated" -eq 1 ]; then
  install_missing
else
  echo "setup: going on with the package indexes that arrived"
  # With one architecture's index of a suite missing (the security updates' i386 list, say), the
  # 32-bit libraries cannot follow their 64-bit twins to the newer version: then the release's
  # own versions, whose indexes arrived for both, are taken.
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  install_missing || { [ -n "$release" ] && echo "setup: taking the versions of $release itself" &&
               install_missing -o APT::Default-Release="$release"; }
fi
