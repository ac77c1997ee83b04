#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, where missing.
# Given package names, installs those instead (without their recommendations).
set -euo pipefail
packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libcli11-dev libcpp-httplib-dev
          curl python3-venv python3-setuptools python3-wheel python3-pytest python3-tango)
options=()
if [ $# -gt 0 ]; then
    packages=("$@")
    options=(--no-install-recommends)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q "${options[@]}" "${missing[@]}"
fi
