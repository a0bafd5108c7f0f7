#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds each, one after
# the other, on its seed corpus, and prints each one's executions and
# executions per second. A fault's input is left as crash-*, leak-*, oom-*
# or timeout-* in the build folder; the script goes on with the next target
# and fails at the end. FUZZ_TARGETS="bmp gif" runs only those.
#   fuzz/run-all.sh SECONDS [BUILD-FOLDER]
set -euo pipefail
seconds=${1:?usage: run-all.sh SECONDS [BUILD-FOLDER]}
here=$(cd "$(dirname "$0")" && pwd)
build=${2:-$here/../../build-fuzz}
bin=$build/bin
corpus=$build/fuzz-corpus
export LSAN_OPTIONS="suppressions=$here/imaging/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
[[ -d $corpus/detect ]] || "$here/imaging/make-corpus.sh" "$corpus" "$bin/fuzz_imaging_corpus"
faults=0
for target in "$bin"/fuzz_imaging_*; do
    name=${target##*/fuzz_imaging_}
    [[ $name == corpus ]] && continue
    [[ -z ${FUZZ_TARGETS:-} || " $FUZZ_TARGETS " == *" $name "* ]] || continue
    mkdir -p "$corpus/$name"
    echo "== $name"
    log=$build/fuzz-$name.log
    status=0
    "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$build/" "$corpus/$name" >"$log" 2>&1 || status=$?
    grep -E "^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)|ERROR|SUMMARY|Test unit written" "$log" || true
    if ((status != 0)); then
        echo "$name: fault found (see $log)"
        faults=$((faults + 1))
    fi
done
((faults == 0))
