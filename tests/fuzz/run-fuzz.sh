#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for
# the given number of seconds (default 30) from seeds made by the project's
# own sample writer and K01 writer. Findings are written to build-fuzz/findings.
#   tests/fuzz/run-fuzz.sh [seconds] [target ...]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-30}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=($(ls tests/fuzz/fuzz_*.cpp | xargs -n1 basename | sed 's/\.cpp$//'))
fi

if ! command -v clang++ >/dev/null || ! dpkg -s libclang-rt-14-dev >/dev/null 2>&1; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq clang libclang-rt-14-dev
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLOGSPLIT_FUZZ=ON -DLOGSPLIT_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}" >/dev/null
# Seed tools are built without instrumentation.
cmake -S . -B build-seeds -DCMAKE_BUILD_TYPE=Release -DLOGSPLIT_TESTS=OFF >/dev/null
cmake --build build-seeds -j"$(nproc)" --target make_sample k01pack >/dev/null

seeds=build-fuzz/seeds
rm -rf "$seeds"
mkdir -p "$seeds"/files build-fuzz/findings
build-seeds/make_sample "$seeds/files/sample.q00"
build-seeds/k01pack -f k00 "$seeds/files/sample.q00" "$seeds/files/sample.k00" >/dev/null
build-seeds/k01pack -f stream "$seeds/files/sample.q00" "$seeds/files/stream.K01" >/dev/null
build-seeds/k01pack -b 1,2,3,4,5 -n 1 "$seeds/files/sample.q00" "$seeds/files/blocks.K01" >/dev/null
build-seeds/k01pack -b 2 "$seeds/files/sample.q00" "$seeds/files/zlib.K02" >/dev/null

# Each target reads a control byte first, then the file.
prefix() {  # prefix BYTE SRC DST
  { printf "\\x$1"; cat "$2"; } > "$3"
}
for t in "${targets[@]}"; do
  mkdir -p "$seeds/$t"
  case "$t" in
    fuzz_conversion)
      prefix 00 "$seeds/files/sample.q00" "$seeds/$t/q00"
      prefix 05 "$seeds/files/sample.k00" "$seeds/$t/k00"
      prefix 0e "$seeds/files/stream.K01" "$seeds/$t/stream"
      prefix 06 "$seeds/files/blocks.K01" "$seeds/$t/blocks"
      prefix 0f "$seeds/files/zlib.K02" "$seeds/$t/k02" ;;
    fuzz_container)
      prefix 01 "$seeds/files/sample.k00" "$seeds/$t/k00"
      prefix 00 "$seeds/files/stream.K01" "$seeds/$t/stream"
      prefix 00 "$seeds/files/blocks.K01" "$seeds/$t/blocks"
      prefix 00 "$seeds/files/zlib.K02" "$seeds/$t/k02" ;;
    fuzz_raw_record)
      tail -c +10813 "$seeds/files/sample.q00" > "$seeds/$t/records" ;;
    fuzz_decode)
      # Each record: type, flags, 16-bit length, bytes.
      printf '\x11\x00\x00\x40' > "$seeds/$t/meas17"
      head -c 64 /dev/zero >> "$seeds/$t/meas17" ;;
    *)
      tail -c +10813 "$seeds/files/sample.q00" > "$seeds/$t/records" ;;
  esac
done

status=0
for t in "${targets[@]}"; do
  echo "== $t ($seconds s)"
  mkdir -p "build-fuzz/corpus/$t"
  if ! build-fuzz/tests/fuzz/"$t" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
       -rss_limit_mb=2048 -artifact_prefix="build-fuzz/findings/$t-" \
       "build-fuzz/corpus/$t" "$seeds/$t" 2>"build-fuzz/$t.log"; then
    status=1
    tail -40 "build-fuzz/$t.log"
  else
    grep -E '^#[0-9]+.*DONE' "build-fuzz/$t.log" | tail -1
  fi
done
exit $status
