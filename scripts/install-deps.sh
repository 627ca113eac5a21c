#!/usr/bin/env bash
# Installs every package the build, the tests and the benchmarks need, with apt-get.
# Does nothing when all of them are present, so it is cheap to call before every build.
set -euo pipefail

packages=(
    cmake ninja-build g++ make pkg-config clang-format
    qt6-base-dev libqt6svg6
    libgtest-dev libgmock-dev libbenchmark-dev
    libjpeg62-turbo-dev libjpeg-turbo-progs libgif-dev gifsicle jpegoptim
    clang gcovr
    python3 python3-html5lib nodejs node-acorn minify
    groff-base man-db locales
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
