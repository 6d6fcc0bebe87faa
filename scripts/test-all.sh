#!/usr/bin/env bash
# Builds and tests every configuration: normal, address+undefined sanitizers, thread sanitizer,
# optimised (-O3), and a bounded coverage-guided fuzz run (clang, libFuzzer).
# OMBIX_PRESETS="..." picks some of them (space-separated: default asan tsan release fuzz).
# Fails as soon as one configuration fails to build or has a failing test.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:detect_deadlocks=1}
for preset in ${OMBIX_PRESETS:-default asan tsan release fuzz}; do
  echo "=== ${preset} ==="
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}" -j "${jobs}"
  ctest --preset "${preset}" -j "${jobs}"
done
