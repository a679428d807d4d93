#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a while each:
#   fuzz/run.sh <build-dir> [seconds-per-target]
# Fails on the first crash, leak, timeout or sanitizer report. The seed is
# fixed (FUZZ_SEED, default 1) so that a run can be repeated; vary it to
# explore further.
set -euo pipefail

build="$1"
seconds="${2:-30}"
seed="${FUZZ_SEED:-1}"
corpus="$build/fuzz-corpus"

"$build/fuzz/fuzz_seed_corpus" "$corpus"

for fuzzer in "$build"/fuzz/fuzz_*; do
    name="$(basename "$fuzzer")"
    [ "$name" = fuzz_seed_corpus ] && continue
    mkdir -p "$corpus/$name" "$build/fuzz-artifacts"
    echo "== $name for ${seconds}s"
    log="$build/fuzz-artifacts/$name.log"
    if ! "$fuzzer" "$corpus/$name" -max_total_time="$seconds" -seed="$seed" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name-" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "$name failed"
        exit 1
    fi
    grep -E '^(Done|stat::number_of_executed_units)' "$log" || true
done
