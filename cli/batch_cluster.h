// Batch runs over the processes of an MPI job (mpirun -np N tessaline-cli batch --mpi ...). Rank
// 0 hands the inputs out one at a time to whichever rank asks for more, receives what each made
// and alone writes the outputs, the manifest and the status table, so that the results are those
// of a run in one process. The other ranks only calculate.
//
// The program is built with MPI when the build finds it; without it, joining refuses with a
// usage error.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/batch_pool.h"

class CBatchCluster {
 public:
  // What rank 0 does with a result a worker sent: store it and return its record.
  using CReceive = std::function<CBatchRecord(const std::string& result)>;
  // What a worker does with an input: work it out and return the result to send.
  using CCompute = std::function<std::string(size_t index, const std::string& path)>;

  // On rank 0, the other ranks are told to end when they were given no work (a run that
  // stopped before its work started) or once they have handed back what they were given.
  virtual ~CBatchCluster() = default;

  virtual int Rank() const = 0;
  virtual int Size() const = 0;

  // On rank 0 of a job with other ranks: the other ranks work out `pending` (indices into
  // `inputs`, handed out in this order) and `receive` takes each result on the calling thread,
  // as the records are taken. With `stop` set no further input is handed out.
  virtual std::unique_ptr<CBatchWorkers> Coordinate(std::vector<size_t> pending,
                                                    const std::vector<std::string>& inputs,
                                                    CReceive receive,
                                                    const std::atomic<bool>& stop) = 0;
  // On the other ranks: works out each input rank 0 hands over, until it says there are no more.
  virtual void Serve(const CCompute& compute) = 0;
};

// Whether this program was built with MPI.
bool BatchClusterAvailable();

// Joins the MPI job this process was started in. Raises CUsageError when the program was built
// without MPI or MPI was started before in this process.
std::unique_ptr<CBatchCluster> JoinBatchCluster();
