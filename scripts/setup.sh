#!/usr/bin/env bash
# Installs what Quorvex needs to build, run and test, from Debian's packages.
# Idempotent: quiet when everything is already there.
#   --arm64    also what cross-builds the headless programs for arm64 and runs them here under
#              the emulator (dpkg multiarch: the :arm64 libraries the programs link)
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang clang-format
  libpcap-dev libcap-dev libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libpng-dev libxxhash-dev libcpp-httplib-dev liblo-dev liblo-tools
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libxcb1-dev libxcb-keysyms1-dev
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  tshark qlcplus ola xvfb xauth xdotool x11-utils imagemagick iproute2 ethtool strace python3 libcap2-bin
  fonts-wqy-microhei chromium chromium-driver python3-selenium
  dpkg-dev file desktop-file-utils man-db groff-base
)
arm64=0
[ "${1:-}" = --arm64 ] && arm64=1
if [ $arm64 = 1 ]; then
  packages+=(crossbuild-essential-arm64 qemu-user-static libc6:arm64 libstdc++6:arm64
    libpcap-dev:arm64 libcap-dev:arm64 libpng-dev:arm64 liblo7:arm64 libcpp-httplib-dev:arm64)
  # liblo-dev:arm64 would replace the native liblo-dev: the toolchain file makes do without it.
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
# tshark asks whether non-root users may capture; answer no without a prompt.
echo "wireshark-common wireshark-common/install-setuid boolean false" | "${sudo_cmd[@]}" debconf-set-selections
if [ $arm64 = 1 ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  "${sudo_cmd[@]}" dpkg --add-architecture arm64
fi
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
