#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the program and its package need.
# Quiet and quick when everything is there; runs apt-get update only when something is missing.
set -euo pipefail

packages=(
    cmake g++ make pkg-config git
    qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools libgl-dev
    libxcb1-dev qt6-translations-l10n
    libjpeg62-turbo-dev libssl-dev ca-certificates
    libgtest-dev libgmock-dev libbenchmark-dev
    libcpp-httplib-dev libsqlite3-dev libpugixml-dev libicu-dev libpq-dev
    postgresql
    fonts-ipafont-gothic fonts-noto-cjk
    python3 xvfb xauth x11-utils curl
    librsvg2-bin desktop-file-utils appstream lintian dpkg-dev gzip
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
