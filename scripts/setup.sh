#!/usr/bin/env bash
# Brings a Debian 12 machine to a state that builds and runs TB_RULE.dll. Safe to run again.
set -euo pipefail

packages=(cmake make g++-mingw-w64-i686-posix mingw-w64-tools wine wine32:i386 xvfb xauth
          googletest libwine-dev imagemagick zip fonts-wine)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

updated=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    "${sudo_cmd[@]}" apt-get update -qq
    updated=1
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    [ "$updated" = 1 ] || "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
