#!/usr/bin/env bash
# Installs the Debian packages the console needs to build, run and test; only what is missing.
set -euo pipefail
PKGS_BUILD="g++ cmake ninja-build pkg-config clang-format libwxgtk3.2-dev libgtk-3-dev libzip-dev libpugixml-dev libcanberra-dev libgtest-dev libgmock-dev libglib2.0-dev libx11-dev"
PKGS_RUN="shared-mime-info fonts-wqy-microhei xvfb xauth"
PKGS_TEST="libreoffice-calc-nogui python3 python3-openpyxl poppler-utils strace"
want="$PKGS_BUILD $PKGS_RUN"
case "${1:-all}" in
  run) ;;
  *) want="$want $PKGS_TEST" ;;
esac
missing=()
for p in $want; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
