#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tool need, when
# any is missing (xvfb, openbox, x11-utils and xdotool: the desktop tests' display).
set -euo pipefail
pkgs=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev googletest
      libbenchmark-dev python3-serial xdg-utils xvfb openbox x11-utils xdotool libx11-dev poppler-utils)
pkgs+=(zlib1g-dev libasound2-dev locales) # the compression benchmark's yardstick; sound output; localedef for the comma-decimal locale tests
pkgs+=(lld) # the linker the build uses when present: links the test programs several times faster
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
