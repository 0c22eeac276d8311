#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and the tests need, and any further
# packages named as arguments (the measuring scripts add their tools).
set -euo pipefail

pacotes=(
  # build
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgtest-dev zlib1g-dev libssl-dev libxml2-dev libxmlsec1-dev libcurl4-openssl-dev libzxing-dev
  # fuzzing of the parsers (scripts/fuzz.sh): clang and its libFuzzer runtime
  clang libclang-rt-14-dev
  # run: platform plugins, fonts
  qt6-qpa-plugins fonts-liberation2
  # tests and the local authority simulator: session bus, test certificates, independent
  # signature check, Python for the simulator
  dbus openssl xmlsec1 python3 ca-certificates poppler-utils
  # tests: an independent reader of the printed barcodes and QR codes
  zbar-tools
  # tests: a local SMTP server for the e-mail transport
  python3-aiosmtpd
  # tests: a real print queue (the cups-pdf virtual printer)
  cups cups-client cups-bsd printer-driver-cups-pdf
  # the tax reform's NF-e schema package, fetched from the npm registry (scripts/esquemas-reforma.sh)
  curl
  "$@"
)

faltam=()
for p in "${pacotes[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || faltam+=("$p")
done
if ((${#faltam[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${faltam[@]}"
fi
