#!/usr/bin/env bash
# Installs the packages the build, the tests and the benchmarks need.
# Idempotent: quiet and quick when everything is already present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libjpeg62-turbo-dev libpng-dev zlib1g-dev
  libsdl2-dev libfreetype-dev fonts-dejavu-core libsqlite3-dev libcurl4-openssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  imagemagick libtiff-tools netpbm giflib-tools libjpeg-turbo-progs
  libimage-exiftool-perl exiv2 python3-pil bc
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
