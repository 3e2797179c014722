#!/usr/bin/env bash
# Installs the build dependencies on a Debian machine (as root) when missing.
set -euo pipefail
pkgs="cmake g++ make zlib1g-dev libbz2-dev libgtest-dev libbenchmark-dev"
missing=""
for p in $pkgs; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq $missing
fi
