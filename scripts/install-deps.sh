#!/usr/bin/env bash
# Installs the Debian packages that building and testing libqvp need, when any
# is missing; given package names, installs those instead. Run as root (or
# with sudo available). Idempotent.
#   scripts/install-deps.sh [package...]
set -euo pipefail

all_packages=(
  build-essential cmake pkg-config dpkg-dev
  libgtest-dev libgmock-dev libbenchmark-dev libtirpc-dev
  libnetcdf-dev netcdf-bin libexpat1-dev nco
  lighttpd lighttpd-mod-deflate nginx-light curl python3 libxml2-utils
  python3-pil libcairo2-dev libpng-dev
  chromium chromium-driver python3-selenium python3-netcdf4 python3-xarray python3-dask
  clang libclang-rt-14-dev clang-format
)
if [ $# -gt 0 ]; then packages=("$@"); else packages=("${all_packages[@]}"); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
