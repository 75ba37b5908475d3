#!/usr/bin/env bash
# Failures under mpirun end every process with the README's status:
# a bad option (2, refused before any exchange, reported once), a save
# that rank 0 cannot write (4, naming the file and the rank), a case that
# only some ranks cannot read (4 on every rank, nothing saved), and saves
# whose slices ranks other than 0 cannot write where rank 0 sees them (4 on
# every rank, the previous case unchanged).
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

# Saves that ranks 1 and 2 (another program context) write elsewhere, as on
# a cluster whose save folder only rank 0's machine sees. Every rank stops
# with 4 and the case saved before stays as it was, with no staging folder
# left. (a) The others do not see the folder being saved: they name
# themselves and the first file they cannot write. (b) They see a stale
# staging folder of their own and write into it: rank 0 finds their files
# missing before the swap and names one.
checksums() { (cd good && find . -type f -exec md5sum {} + | sort); }
before=$(checksums)
shared_save() {  # the save folder of ranks 1 and 2
  "$mpiexec" --oversubscribe -np 1 "$batch" --open good --steps 2 --save good : \
    -np 2 "$batch" --open good --steps 2 --save "$1" >out.txt 2>err.txt
}
expect_unchanged() {  # status, expected message (pattern), what was tried
  if [ "$1" -ne 4 ] || ! grep -q "$2" err.txt || [ "$(checksums)" != "$before" ] ||
     [ -e good.saving ]; then
    echo "$3: status $1, expected 4, a message matching '$2', good unchanged, no good.saving:"
    cat err.txt
    exit 1
  fi
}
shared_save unseen/good
expect_unchanged $? "rank [12]: .*cannot write file unseen/good.saving/volume_[0-9]*/u/[0-9]*.txt" \
  "slices not written by ranks 1 and 2"
[ ! -e unseen ] || { echo "ranks 1 and 2 created unseen/"; exit 1; }
mkdir -p stale/good.saving && touch stale/good.saving/.incomplete
shared_save stale/good
expect_unchanged $? "rank 0: .*good.saving/volume_[0-9]*/u/[0-9]*.txt: file is missing" \
  "slices written to a stale staging folder by ranks 1 and 2"
echo "bad option, failed saves and a read failing on some ranks: statuses 2, 4, 4, 4 and 4"
