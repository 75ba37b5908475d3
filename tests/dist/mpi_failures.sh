#!/usr/bin/env bash
# Failures under mpirun end every process with the README's status:
# a bad option (2, refused before any exchange, reported once), and a save
# that rank 0 cannot write (4, naming the file and the rank).
# usage: mpi_failures.sh MPIEXEC BATCH WORKDIR
set -uo pipefail
mpiexec="$1" batch="$2" work="$3"
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

"$mpiexec" --oversubscribe -np 3 "$batch" --nx 9 --steps -5 >out.txt 2>err.txt
status=$?
if [ "$status" -ne 2 ] || [ "$(grep -c -- '--steps' err.txt)" -ne 1 ]; then
  echo "bad option: status $status, expected 2 and one message:"
  cat err.txt
  exit 1
fi

# A regular file where the save's parent folder should be.
touch blocker
"$mpiexec" --oversubscribe -np 3 "$batch" --nx 9 --ny 6 --nz 6 --steps 4 \
  --save blocker/case >out.txt 2>err.txt
status=$?
if [ "$status" -ne 4 ] || ! grep -q "rank 0: .*blocker" err.txt; then
  echo "failed save: status $status, expected 4 and a message naming rank 0 and the folder:"
  cat err.txt
  exit 1
fi
echo "bad option and failed save: statuses 2 and 4"
