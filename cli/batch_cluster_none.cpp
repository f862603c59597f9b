// The program built without MPI: --mpi is refused before any work.
#include "cli/arguments.h"
#include "cli/batch_cluster.h"

bool BatchClusterAvailable() {
  return false;
}

std::unique_ptr<CBatchCluster> JoinBatchCluster() {
  throw CUsageError(
      "--mpi: this tessaline-cli was built without MPI (install Open MPI, libopenmpi-dev, and "
      "build again); --shard splits a collection over the tasks of a job array instead");
}
