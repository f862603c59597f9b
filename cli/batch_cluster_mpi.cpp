// The batch cluster over MPI. Rank 0 keeps each worker a few inputs ahead, so that a worker that
// hands back a result finds its next input waiting instead of idling through a round trip. It
// polls for results with short sleeps rather than a blocking receive, which Open MPI would spin
// on, taking a core from the workers; and it receives them without blocking, because a worker
// sends while it goes on calculating, and a large result then moves only when that worker next
// calls MPI: a blocking receive would hold every other worker up for a whole calculation.
// The C interface only: Open MPI's deprecated C++ bindings would need a library of their own.
#define OMPI_SKIP_MPICXX 1
#define MPICH_SKIP_MPICXX 1
#include <mpi.h>

#include <chrono>
#include <cstring>
#include <exception>
#include <limits>
#include <list>
#include <optional>
#include <stdexcept>
#include <thread>

#include "cli/arguments.h"
#include "cli/batch_cluster.h"

namespace {

constexpr int kWorkTag = 1;    // rank 0 to a worker: an index (8 bytes) and its path
constexpr int kStopTag = 2;    // rank 0 to a worker: no more inputs
constexpr int kResultTag = 3;  // a worker to rank 0: what it made of an input
constexpr size_t kAhead = 3;   // inputs a worker holds, the one it works on included
constexpr auto kPollPause = std::chrono::microseconds(200);

void Check(int status, const char* what) {
  if (status != MPI_SUCCESS) throw std::runtime_error(std::string("MPI: ") + what + " failed");
}

std::string ReceiveBytes(int source, int tag, MPI_Status* status = nullptr) {
  MPI_Status probed;
  Check(MPI_Probe(source, tag, MPI_COMM_WORLD, &probed), "probe");
  int count = 0;
  Check(MPI_Get_count(&probed, MPI_BYTE, &count), "count");
  std::string bytes(static_cast<size_t>(count), '\0');
  Check(MPI_Recv(bytes.data(), count, MPI_BYTE, probed.MPI_SOURCE, probed.MPI_TAG, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE),
        "receive");
  if (status) *status = probed;
  return bytes;
}

int Count(size_t bytes) {
  if (bytes > static_cast<size_t>(std::numeric_limits<int>::max()))
    throw std::runtime_error("a batch result of " + std::to_string(bytes) +
                             " bytes is beyond one MPI message");
  return static_cast<int>(bytes);
}

class CMpiCluster;

class CMpiCoordinator final : public CBatchWorkers {
 public:
  CMpiCoordinator(CMpiCluster& cluster, std::vector<size_t> pending,
                  const std::vector<std::string>& inputs, CBatchCluster::CReceive receive,
                  const std::atomic<bool>& stop);
  // Results still on their way are taken and dropped (an error ends the run): their inputs are
  // not in the manifest, so a resumed run computes them.
  ~CMpiCoordinator() override;

  std::optional<CBatchRecord> Next(std::chrono::milliseconds wait) override;
  bool Finished() override;

 private:
  void HandOut();
  std::optional<std::pair<int, std::string>> Poll();

  // A result whose receiving has begun.
  struct CReceiving {
    int source = 0;
    std::string bytes;
    MPI_Request request = MPI_REQUEST_NULL;
  };

  CMpiCluster& m_cluster;
  const std::vector<size_t> m_pending;
  const std::vector<std::string>& m_inputs;
  const CBatchCluster::CReceive m_receive;
  const std::atomic<bool>& m_stop;
  size_t m_next = 0;
  std::vector<size_t> m_held;  // inputs handed to each rank and not yet answered
  size_t m_outstanding = 0;
  std::list<CReceiving> m_receiving;  // a list: the requests hold on to their buffers
};

class CMpiCluster final : public CBatchCluster {
 public:
  CMpiCluster() {
    int initialised = 0, finalised = 0;
    MPI_Initialized(&initialised);
    MPI_Finalized(&finalised);
    if (initialised || finalised)
      throw CUsageError("--mpi: MPI was started before in this process");
    // Only this thread talks to MPI; the calculation threads never do.
    int provided = 0;
    Check(MPI_Init_thread(nullptr, nullptr, MPI_THREAD_FUNNELED, &provided), "start");
    MPI_Comm_rank(MPI_COMM_WORLD, &m_rank);
    MPI_Comm_size(MPI_COMM_WORLD, &m_size);
    m_stopped.assign(static_cast<size_t>(m_size), false);
  }

  ~CMpiCluster() override {
    if (m_rank == 0) {
      for (int rank = 1; rank < m_size; ++rank) Stop(rank);
    } else if (!m_served) {
      // This rank ended before its work (its arguments were refused, as rank 0 refuses them
      // too): it waits for rank 0's word so that no message is left unread.
      MPI_Status status;
      const std::string message = ReceiveBytes(0, MPI_ANY_TAG, &status);
      if (status.MPI_TAG != kStopTag) MPI_Abort(MPI_COMM_WORLD, 2);
    }
    MPI_Finalize();
  }

  int Rank() const override { return m_rank; }
  int Size() const override { return m_size; }

  std::unique_ptr<CBatchWorkers> Coordinate(std::vector<size_t> pending,
                                            const std::vector<std::string>& inputs,
                                            CReceive receive,
                                            const std::atomic<bool>& stop) override {
    return std::make_unique<CMpiCoordinator>(*this, std::move(pending), inputs, std::move(receive),
                                             stop);
  }

  void Serve(const CCompute& compute) override {
    m_served = true;
    // The send of one result overlaps the calculation of the next input.
    std::string sending;
    MPI_Request request = MPI_REQUEST_NULL;
    for (;;) {
      MPI_Status status;
      const std::string work = ReceiveBytes(0, MPI_ANY_TAG, &status);
      if (status.MPI_TAG == kStopTag) break;
      uint64_t index = 0;
      if (work.size() < sizeof index) throw std::runtime_error("MPI: a work message cut short");
      std::memcpy(&index, work.data(), sizeof index);
      std::string result;
      try {
        result = compute(static_cast<size_t>(index), work.substr(sizeof index));
      } catch (...) {
        // A failure to read or calculate is a result; anything else (memory) leaves rank 0
        // waiting for an answer that would never come.
        MPI_Abort(MPI_COMM_WORLD, 1);
      }
      Check(MPI_Wait(&request, MPI_STATUS_IGNORE), "send");
      sending = std::move(result);
      Check(MPI_Isend(sending.data(), Count(sending.size()), MPI_BYTE, 0, kResultTag,
                      MPI_COMM_WORLD, &request),
            "send");
    }
    Check(MPI_Wait(&request, MPI_STATUS_IGNORE), "send");
  }

  void Send(int rank, size_t index, const std::string& path) {
    std::string work(sizeof(uint64_t), '\0');
    const uint64_t value = index;
    std::memcpy(work.data(), &value, sizeof value);
    work += path;
    Check(MPI_Send(work.data(), Count(work.size()), MPI_BYTE, rank, kWorkTag, MPI_COMM_WORLD),
          "send");
  }

  void Stop(int rank) {
    if (m_stopped[static_cast<size_t>(rank)]) return;
    m_stopped[static_cast<size_t>(rank)] = true;
    MPI_Send(nullptr, 0, MPI_BYTE, rank, kStopTag, MPI_COMM_WORLD);
  }

 private:
  int m_rank = 0, m_size = 1;
  std::vector<bool> m_stopped;
  bool m_served = false;
};

CMpiCoordinator::CMpiCoordinator(CMpiCluster& cluster, std::vector<size_t> pending,
                                 const std::vector<std::string>& inputs,
                                 CBatchCluster::CReceive receive, const std::atomic<bool>& stop)
    : m_cluster(cluster),
      m_pending(std::move(pending)),
      m_inputs(inputs),
      m_receive(std::move(receive)),
      m_stop(stop),
      m_held(static_cast<size_t>(cluster.Size()), 0) {
  HandOut();
}

CMpiCoordinator::~CMpiCoordinator() {
  try {
    while (m_outstanding > 0) {
      if (Poll())
        --m_outstanding;
      else
        std::this_thread::sleep_for(kPollPause);
    }
  } catch (...) {
    // MPI itself failed: the workers cannot be told to end.
    MPI_Abort(MPI_COMM_WORLD, 1);
  }
}

void CMpiCoordinator::HandOut() {
  for (size_t round = 0; round < kAhead; ++round)
    for (int rank = 1; rank < m_cluster.Size(); ++rank) {
      const auto r = static_cast<size_t>(rank);
      if (m_stop || m_next == m_pending.size()) return;
      if (m_held[r] >= kAhead) continue;
      const size_t index = m_pending[m_next++];
      m_cluster.Send(rank, index, m_inputs[index]);
      ++m_held[r];
      ++m_outstanding;
    }
}

std::optional<std::pair<int, std::string>> CMpiCoordinator::Poll() {
  // Every result that has announced itself starts on its way; a probe never again returns a
  // message that a posted receive has matched.
  for (;;) {
    int arrived = 0;
    MPI_Status status;
    Check(MPI_Iprobe(MPI_ANY_SOURCE, kResultTag, MPI_COMM_WORLD, &arrived, &status), "probe");
    if (!arrived) break;
    int count = 0;
    Check(MPI_Get_count(&status, MPI_BYTE, &count), "count");
    CReceiving& r = m_receiving.emplace_back();
    r.source = status.MPI_SOURCE;
    r.bytes.assign(static_cast<size_t>(count), '\0');
    Check(MPI_Irecv(r.bytes.data(), count, MPI_BYTE, r.source, kResultTag, MPI_COMM_WORLD,
                    &r.request),
          "receive");
  }
  for (auto r = m_receiving.begin(); r != m_receiving.end(); ++r) {
    int done = 0;
    Check(MPI_Test(&r->request, &done, MPI_STATUS_IGNORE), "receive");
    if (!done) continue;
    std::pair<int, std::string> result(r->source, std::move(r->bytes));
    m_receiving.erase(r);
    return result;
  }
  return std::nullopt;
}

std::optional<CBatchRecord> CMpiCoordinator::Next(std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (m_outstanding == 0) return std::nullopt;
    if (std::optional<std::pair<int, std::string>> result = Poll()) {
      --m_held[static_cast<size_t>(result->first)];
      --m_outstanding;
      HandOut();
      return m_receive(result->second);
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kPollPause);
  }
}

bool CMpiCoordinator::Finished() {
  if (m_outstanding > 0) return false;
  for (int rank = 1; rank < m_cluster.Size(); ++rank) m_cluster.Stop(rank);
  return true;
}

}  // namespace

bool BatchClusterAvailable() {
  return true;
}

std::unique_ptr<CBatchCluster> JoinBatchCluster() {
  return std::make_unique<CMpiCluster>();
}
