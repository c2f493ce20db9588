#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, starting from the committed seeds.
#
#   fuzz/run.sh [SECONDS_PER_TARGET] [BUILD_DIR]
#
# Builds the targets with clang++ (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in BUILD_DIR (default build-fuzz) when needed.
# New corpus entries go to fuzz/corpus-work/, crashes to fuzz/artifacts/.
# Exits non-zero when a target finds a crash, a leak or a timeout.
set -euo pipefail
seconds=${1:-30}
cd "$(dirname "$0")/.."
root=$PWD
build=${2:-build-fuzz}
CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVW_FUZZ=ON -DKVW_TESTS=OFF -DKVW_PYTHON=OFF \
  -DKVW_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null

status=0
mkdir -p fuzz/artifacts
for target in fuzz_free_format fuzz_character_record fuzz_fields fuzz_whole_run fuzz_text_table fuzz_aavso fuzz_fits \
    fuzz_command_line fuzz_writers; do
  work="$root/fuzz/corpus-work/$target"
  mkdir -p "$work"
  cp -n "$root/fuzz/corpus/$target/"* "$work/" 2>/dev/null || true
  max_len=4096
  [ "$target" = fuzz_whole_run ] && max_len=2048
  asan_options=${ASAN_OPTIONS:-}
  if [ "$target" = fuzz_fits ]; then
    max_len=12000  # a light-curve file is at least three 2880-byte blocks
    # cfitsio sizes its tables from header values: a huge one is an allocation
    # that fails and that cfitsio reports, as it does outside the sanitizer.
    asan_options=allocator_may_return_null=1${asan_options:+:$asan_options}
  fi
  log="$root/fuzz/artifacts/$target.log"
  echo "== $target: $seconds s"
  if ASAN_OPTIONS=$asan_options "$root/$build/fuzz/$target" "$work" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$root/fuzz/artifacts/$target-" >"$log" 2>&1; then
    grep -E "^#[0-9]+ +DONE|stat::number_of_executed_units" "$log" | tail -2
  else
    status=1
    echo "!! $target failed:"
    grep -E "ERROR|SUMMARY|Test unit written" "$log" | head -10
  fi
done
exit $status
