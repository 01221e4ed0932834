#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a bounded number of runs on a scratch copy of
# its seed corpus, so the repository is never written to. Exits non-zero on any fault.
#
#   bash tests/fuzz/run.sh          # the bounded stage of the test command
#   bash tests/fuzz/run.sh --long   # each target for up to ten minutes, no run limit
#
# TAVREL_FUZZ_RUNS and TAVREL_FUZZ_SECONDS override the runs and the time cap per target.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${TAVREL_FUZZ_RUNS:-20000}
seconds=${TAVREL_FUZZ_SECONDS:-25}
if [[ ${1:-} == --long ]]; then
    runs=${TAVREL_FUZZ_RUNS:--1}
    seconds=${TAVREL_FUZZ_SECONDS:-600}
fi

cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

scratch=$(mktemp -d /tmp/tavrel-fuzz.XXXXXX)
status=0
for target in registry_reader ini_reader report_builders child_reply; do
    mkdir -p "$scratch/$target/artifacts"
    cp -r "tests/fuzz/corpus/$target" "$scratch/$target/corpus"
    log="$scratch/$target/fuzz.log"
    start=$(date +%s)
    if build/fuzz/tests/fuzz/fuzz_"$target" -runs="$runs" -max_total_time="$seconds" \
        -max_len=4096 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$scratch/$target/artifacts/" "$scratch/$target/corpus" >"$log" 2>&1; then
        result=held
    else
        result=FAULT
        status=1
    fi
    done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "fuzz $target: ${done_runs:-?} runs in $(($(date +%s) - start)) s, $result"
    if [[ $result == FAULT ]]; then
        grep -E 'FUZZ RULE BROKEN|ERROR: |SUMMARY|Test unit written' "$log" | head -5 || true
        echo "  full log and the failing input: $scratch/$target"
    fi
done

if [[ $status == 0 ]]; then
    rm -rf "$scratch"
fi
exit "$status"
