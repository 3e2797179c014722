#!/usr/bin/env bash
# Sets up, builds and runs logsplit on a bundled sample raw image.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DLOGSPLIT_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target logsplit make_sample >/dev/null
mkdir -p demo-out
build/make_sample demo-out/gs00233a.q00
set +e
build/logsplit -deimv -s demo-out/gs00233a
status=$?
set -e
echo "exit status: $status"
ls -l demo-out
