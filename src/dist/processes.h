#pragma once
// The processes of one batch run (MPI_COMM_WORLD). Started without mpirun
// the program is a single process of its own (MPI's singleton start).
//
// Every function below except the first two and processRank/processCount is
// a collective: every process calls it at the same point of the run, so
// every wait has an outcome.

namespace brelvik::dist {

// MPI_Init_thread with MPI calls from the main thread only (the work
// teams' threads never call MPI). Returns false when MPI cannot start.
bool startProcesses(int* argc, char*** argv);
void finishProcesses();

int processRank();
int processCount();

// True when `ok` is true on every process.
bool allSucceeded(bool ok);
// The lowest rank whose `ok` is false; -1 when every one succeeded.
int firstFailedRank(bool ok);
// Rank 0's value of `status`, on every process.
int statusOfRank0(int status);
// A barrier at which the waiting processes sleep (polling every
// millisecond) instead of spinning, so that one still at work keeps its
// processor.
void waitAsleep();
// The largest of every process's `value`, on every process.
double maxOf(double value);
// Ends every process with `status`: for failures after which the others
// could not be reached in order (an exception in the middle of a step).
[[noreturn]] void abortProcesses(int status);

}  // namespace brelvik::dist
