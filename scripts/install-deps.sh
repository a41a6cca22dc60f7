#!/usr/bin/env bash
# Installs what Fotoloom needs to build, test and run on Debian 12.
# Uses apt-get directly when run as root, sudo otherwise. Does nothing when
# everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libbz2-dev bzip2
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  wget xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then
  SUDO=(env DEBIAN_FRONTEND=noninteractive)
else
  SUDO=(sudo env DEBIAN_FRONTEND=noninteractive)
fi
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
