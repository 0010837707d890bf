#!/usr/bin/env bash
# Installs the Debian packages that building kavrino needs, and any package
# named as an argument, when they are missing; does nothing when all are there.
# Runs apt-get through sudo when not run as root.
#
#   tools/install-deps.sh                      what kavrino itself needs
#   tools/install-deps.sh libgtest-dev ...     that and the packages named
set -euo pipefail

packages=(cmake ninja-build g++ libdeflate-dev libzstd-dev zlib1g-dev libbz2-dev "$@")
missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f '${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends "${missing[@]}"
