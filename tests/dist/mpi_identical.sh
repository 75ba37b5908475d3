#!/usr/bin/env bash
# brelvik-batch under `mpirun -np N` writes the same bytes as the run without
# mpirun: the history on standard output, the saved case folder, the VTK
# files, the history CSV, the sampling-plane export and the streamlines.
# Then each continues its own case with --open and must again agree. On
# this grid (12 planes per volume) 4 processes cut two volumes in halves and 8 cut every
# volume into two pieces (halos, straddling stencils, residual chains).
# usage: mpi_identical.sh MPIEXEC BATCH WORKDIR N...
set -euo pipefail
mpiexec="$1" batch="$2" work="$3"
shift 3
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# A small grid whose stencils hold other receivers (ordered receivers)
# and the absorbing far field, whose ghosts the stencils may read.
run_case() {  # launcher..., then the run's folder as the last argument
  local dir="${!#}"
  local launcher=("${@:1:$#-1}")
  mkdir -p "$dir"
  (cd "$dir" &&
   "${launcher[@]}" "$batch" --nx 9 --ny 6 --nz 6 --dt 0.002 --steps 40 --far-field absorbing \
     --save case --vtk vtk --vtk-every 20 --history history.csv \
     --plane xz --from -3,0.05,-3 --to 3,0,3 --counts 9,0,9 --seed -3,0.5,0.2 \
     --line-points 50 --streamlines lines.txt >history.tsv 2>run.err &&
   "${launcher[@]}" "$batch" --open case --steps 20 --save case2 >>history.tsv 2>>run.err) || {
    echo "run in $dir failed:"
    cat "$dir/run.err"
    return 1
  }
}

run_case serial
for n in "$@"; do
  run_case "$mpiexec" --oversubscribe -np "$n" "np$n"
  if ! diff -r --exclude=run.err serial "np$n"; then
    echo "mpirun -np $n differs from the run without mpirun"
    exit 1
  fi
  echo "np $n: identical ($(wc -l < "np$n/history.tsv") history lines)"
done
