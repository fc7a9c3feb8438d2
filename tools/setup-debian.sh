#!/usr/bin/env bash
# Installs what building and testing the module needs on a Debian machine:
# the mingw-w64 cross compiler, Wine (which supplies the real msi.dll, COM and
# MSXML the tests run against), msitools for building packages, CMake, the
# GoogleTest sources and clang-format for the layout check. Does nothing when
# everything is there already.
set -euo pipefail

packages=(mingw-w64 g++-mingw-w64-x86-64-posix wine wine64 msitools wixl cmake make googletest python3
  clang-format)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
