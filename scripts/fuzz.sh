#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# one of them for a while:  scripts/fuzz.sh [TARGET] [SECONDS]   (default liza_fuzz for 600 s).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
target=${1:-liza_fuzz}
seconds=${2:-600}
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORL_SANITIZE=ON -DORL_WITH_QT=OFF \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
cmake --build build-fuzz --target "$target"
corpus=build-fuzz/corpus/$target
mkdir -p "$corpus"
build-fuzz/bin/"$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix=build-fuzz/ \
  "$corpus" tests/fuzz/seeds/"$target"
