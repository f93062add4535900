#!/usr/bin/env bash
# Runs one fuzzer from its seed corpus; what it finds new goes to a scratch
# corpus that is removed afterwards, so the seeds stay as committed. Any crash,
# leak or sanitizer report fails the run and leaves the input in the current
# folder as crash-*, leak-* or timeout-*.
#   tests/fuzz/run.sh build-fuzz/tests/fuzz/velloran_fuzz_whole_run tests/fuzz/corpus/whole_run -max_total_time=3600
set -euo pipefail
# Absolute paths: the whole-run fuzzer works inside a folder of its own.
fuzzer=$(realpath "$1") seeds=$(realpath "$2")
shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$fuzzer" -max_len=4096 -timeout=10 -print_final_stats=1 -artifact_prefix="$PWD/" "$@" "$scratch" "$seeds"
