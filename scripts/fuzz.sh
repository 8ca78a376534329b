#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) and runs each for the given number of seconds from its seed
# corpus. Any crash, leak, timeout or out-of-memory finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[[ $seconds -gt 0 ]] || exit 0
cmake -S . -B build-fuzz -G Ninja -DMURKGLASS_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build build-fuzz
shopt -s nullglob
status=0
for target in build-fuzz/fuzz/fuzz_*; do
  [[ -x $target && -f $target ]] || continue
  name=$(basename "$target")
  work=build-fuzz/corpus/$name
  mkdir -p "$work"
  seeds=()
  [[ -d fuzz/corpus/${name#fuzz_} ]] && seeds+=("fuzz/corpus/${name#fuzz_}")
  echo "== $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="build-fuzz/$name-" "$work" "${seeds[@]}" > "build-fuzz/$name.log" 2>&1; then
    tail -n 60 "build-fuzz/$name.log"
    echo "FUZZ FAILURE: $name"
    status=1
  else
    tail -n 2 "build-fuzz/$name.log"
  fi
done
exit $status
