#include "dist/processes.h"

#include <mpi.h>

#include <time.h>

#include <stdlib.h>

#include <cstdlib>

namespace brelvik::dist {

bool startProcesses(int* argc, char*** argv) {
  // A process waiting in an exchange gives its processor away between
  // polls instead of spinning: on a machine whose cores are shared (other
  // programs, more processes than cores) the spinning would take the time
  // of the process being waited for (bench_mpi on a loaded 2-core machine:
  // 0.73x of one process spinning, 0.99x yielding); on free cores the yield
  // returns at once. A value the user set is kept.
  setenv("OMPI_MCA_mpi_yield_when_idle", "1", 0);
  int provided = 0;
  return MPI_Init_thread(argc, argv, MPI_THREAD_FUNNELED, &provided) == MPI_SUCCESS;
}

void finishProcesses() {
  int finalized = 0;
  MPI_Finalized(&finalized);
  if (!finalized) MPI_Finalize();
}

int processRank() {
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  return rank;
}

int processCount() {
  int count = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &count);
  return count;
}

bool allSucceeded(bool ok) { return firstFailedRank(ok) < 0; }

int firstFailedRank(bool ok) {
  // MPI_MIN over (ok ? count : rank): the lowest failing rank, or count.
  const int count = processCount();
  int mine = ok ? count : processRank(), lowest = count;
  MPI_Allreduce(&mine, &lowest, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
  return lowest < count ? lowest : -1;
}

int statusOfRank0(int status) {
  MPI_Bcast(&status, 1, MPI_INT, 0, MPI_COMM_WORLD);
  return status;
}

void waitAsleep() {
  MPI_Request request;
  MPI_Ibarrier(MPI_COMM_WORLD, &request);
  int done = 0;
  const timespec millisecond{0, 1000000};
  for (MPI_Test(&request, &done, MPI_STATUS_IGNORE); !done;
       MPI_Test(&request, &done, MPI_STATUS_IGNORE))
    nanosleep(&millisecond, nullptr);
}

double maxOf(double value) {
  double largest = value;
  MPI_Allreduce(&value, &largest, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
  return largest;
}

void abortProcesses(int status) {
  MPI_Abort(MPI_COMM_WORLD, status);
  std::exit(status);
}

}  // namespace brelvik::dist
