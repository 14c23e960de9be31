#!/usr/bin/env bash
# Installs what building, testing and running Dralvo needs on Debian 12.
# Idempotent: when everything is present it only asks dpkg and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libgtest-dev libgmock-dev
  clang clang-format
  fonts-dejavu-core
  alsa-utils
  desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_=""
[ "$(id -u)" -eq 0 ] || sudo_="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo_ apt-get update -qq
$sudo_ apt-get install -y -qq --no-install-recommends "${missing[@]}"
