#!/bin/sh
# Runs each fuzzer of fuzz/ for a bounded time, seeded with tests/data (the crafted image files, the
# settings files), and reports what each did. Usage: tools/fuzz.sh BUILD_DIR [SECONDS_EACH]
# New inputs that reach new code are kept in BUILD_DIR/fuzz-runs/NAME/corpus, so a later run goes on from
# them; a crash, a hang or a failed check leaves its input in BUILD_DIR/fuzz-runs/NAME/artifacts.
set -u
build=$1
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
data=$root/tests/data
status=0
for name in bmp raw jpeg settings; do
    work=$build/fuzz-runs/$name
    mkdir -p "$work/corpus" "$work/artifacts" "$work/seeds"
    rm -f "$work/seeds"/*
    case $name in
        bmp) cp "$data"/corpus/*.bmp "$work/seeds/" ;;
        raw) cp "$data"/corpus/*.raw "$work/seeds/" ;;
        jpeg) cp "$data"/corpus/*.jpg "$work/seeds/" ;;
        settings) cp "$data"/settings/*.ini "$work/seeds/" ;;
    esac
    start=$(date +%s)
    "$build/fuzz/fuzz-$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" "$work/seeds" \
        >"$work/log" 2>&1
    result=$?
    elapsed=$(( $(date +%s) - start ))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    coverage=$(grep -o 'cov: [0-9]*' "$work/log" | tail -1)
    found=$(ls "$work/artifacts" | wc -l)
    echo "fuzz-$name: ${elapsed} s, ${runs:-?} inputs, ${coverage:-cov: ?}, corpus $(ls "$work/corpus" | wc -l) files, $found findings (exit $result)"
    if [ "$result" -ne 0 ] || [ "$found" -ne 0 ]; then
        status=1
        grep -m 5 -E 'ERROR|SUMMARY|deadly|Test unit written' "$work/log"
    fi
done
exit $status
