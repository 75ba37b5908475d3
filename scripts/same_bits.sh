#!/bin/bash
# Whether two builds of brelvik-batch compute the same bits.
#
# Usage: scripts/same_bits.sh BASE_BATCH NEW_BATCH
#
# Runs three cases (reflecting and absorbing far field on the default grid,
# and a 17 x 9 x 11 grid), 60 steps each: BASE on 1 thread, NEW on 1, 2
# and 3 threads. Compares the printed history and the whole saved folder
# byte for byte. Exits 1 when any pair differs.
set -u
if [ $# -ne 2 ]; then
  echo "usage: $0 BASE_BATCH NEW_BATCH" >&2
  exit 2
fi
# Absolute, because each run starts in its own folder.
base=$(realpath "$1") new=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
run() {  # tag program threads args...
  local tag=$1 program=$2 threads=$3
  shift 3
  mkdir -p "$work/$tag"
  (cd "$work/$tag" && "$program" --threads "$threads" "$@" --save save > history.tsv 2> messages.txt
   echo $? > exit_status)
}
case_number=0
for args in "--steps 60" "--steps 60 --far-field absorbing" "--nx 17 --ny 9 --nz 11 --steps 60"; do
  case_number=$((case_number + 1))
  # shellcheck disable=SC2086
  run "base$case_number" "$base" 1 $args
  for threads in 1 2 3; do
    # shellcheck disable=SC2086
    run "new$case_number-$threads" "$new" "$threads" $args
    if diff -r "$work/base$case_number" "$work/new$case_number-$threads" > /dev/null; then
      echo "case $case_number ($args), $threads threads: identical"
    else
      echo "case $case_number ($args), $threads threads: DIFFERENT"
      status=1
    fi
  done
done
exit $status
