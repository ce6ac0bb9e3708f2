#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only when
# some are missing, and any packages named as arguments (for the dev tools,
# e.g. `install-deps.sh imagemagick`). Run as root (or with sudo available).
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev libgl-dev
  qt6-translations-l10n  # Qt's own texts (file dialog, message box buttons) translated
  libgtest-dev libgmock-dev libbenchmark-dev
  gettext unrtf xvfb xauth
  clang libclang-rt-14-dev  # the libFuzzer targets (scripts/run-fuzzers.sh)
  dpkg-dev strace  # the package test: dpkg-shlibdeps, and the files the program opens
  help2man lintian  # the package's manual pages, and the package test's check of it
  # The component cross-built for Windows and tested under Wine: MinGW-w64 with
  # the posix thread model (std::thread), GoogleTest's sources to build with
  # it, and socat to link the two ptys the tests use as COM ports.
  g++-mingw-w64-x86-64-posix wine64 googletest socat
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
