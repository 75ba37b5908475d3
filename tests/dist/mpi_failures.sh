#!/usr/bin/env bash
# Failures under mpirun end every process with the README's status:
# a bad option (2, refused before any exchange, reported once), a save
# that rank 0 cannot write (4, naming the file and the rank), and a case
# that only some ranks cannot read (4 on every rank, nothing saved).
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
# Rank 0 opens a good case, ranks 1 and 2 (another program context of the
# same job) a folder that does not exist: every rank stops before the run,
# and rank 0 saves nothing. The ranks' messages may interleave on stderr.
"$mpiexec" --oversubscribe -np 1 "$batch" --nx 9 --ny 6 --nz 6 --steps 0 --save good \
  >out.txt 2>err.txt || { echo "could not prepare the case"; cat err.txt; exit 1; }
"$mpiexec" --oversubscribe -np 1 "$batch" --open good --steps 2 --save reopened : \
  -np 2 "$batch" --open missing --steps 2 --save reopened >out.txt 2>err.txt
status=$?
if [ "$status" -ne 4 ] || ! grep -q "missing" err.txt || ! grep -q "rank" err.txt ||
   [ -e reopened ]; then
  echo "read failing on ranks 1 and 2 only: status $status, expected 4, the folder named, nothing saved:"
  cat err.txt
  exit 1
fi
echo "bad option, failed save and a read failing on some ranks: statuses 2, 4 and 4"
