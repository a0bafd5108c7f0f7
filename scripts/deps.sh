#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build ccache pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libsqlite3-dev
    libjpeg62-turbo-dev libpng-dev zlib1g-dev libtiff-dev libopenjp2-7-dev libraw-dev libmng-dev
    libfreetype-dev libfontconfig-dev fonts-dejavu-core
    libexiv2-dev
    libcurl4-openssl-dev libssl-dev
    qt6-base-dev
    libcups2-dev
    libcpp-httplib-dev
    libxml2-utils
    imagemagick libvips-tools
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi
