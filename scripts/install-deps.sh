#!/usr/bin/env bash
# Installs what building, testing and running Dralvo needs on Debian 12.
# Idempotent: when everything is present it only asks dpkg and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libgtest-dev libgmock-dev
  qt6-l10n-tools
  libre2-dev
  clang clang-format
  fonts-dejavu-core
  alsa-utils
  desktop-file-utils appstream
)

# The serial lab (tests/vm): an emulated machine on Debian's own kernel with its
# real serial drivers, and busybox for its first process. Without them, or
# without the package archive, the lab's tests are skipped with the reason.
lab_packages=(qemu-system-x86 linux-image-amd64 busybox-static)

missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed || echo "$p"
  done
}
mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t lab_missing < <(missing_of "${lab_packages[@]}")
[ ${#missing[@]} -eq 0 ] && [ ${#lab_missing[@]} -eq 0 ] && exit 0

sudo_=""
[ "$(id -u)" -eq 0 ] || sudo_="sudo"
export DEBIAN_FRONTEND=noninteractive
updated=0
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo_ apt-get update -qq
  updated=1
  $sudo_ apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ${#lab_missing[@]} -gt 0 ]; then
  echo "Installing for the serial lab: ${lab_missing[*]}"
  { [ $updated -eq 1 ] || $sudo_ apt-get update -qq; } &&
    $sudo_ apt-get install -y -qq --no-install-recommends "${lab_missing[@]}" ||
    echo "The serial lab's packages could not be installed; its tests will be skipped." >&2
fi
