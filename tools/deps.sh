#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# but only those that are missing. Quick when everything is there.
set -euo pipefail

packages=(
    g++ cmake ninja-build make pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-svg-dev qt6-translations-l10n
    fonts-dejavu-core fonts-liberation2
    poppler-utils xvfb xauth
    desktop-file-utils appstream dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
