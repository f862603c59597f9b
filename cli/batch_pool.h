// The threads of a batch run: each takes the next pending input, works it out alone and hands
// its record to the thread that started the pool, which alone writes the manifest and shows
// progress.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "app/work_team.h"
#include "cli/batch_record.h"

// Where the main thread of a run takes the records of finished inputs from: the threads of this
// process, or the processes of an MPI job.
class CBatchWorkers {
 public:
  virtual ~CBatchWorkers() = default;
  // The next finished record, waiting at most `wait`; nothing when none came in time or every
  // worker has ended and every record was taken.
  virtual std::optional<CBatchRecord> Next(std::chrono::milliseconds wait) = 0;
  // Whether every worker has ended and every record was taken.
  virtual bool Finished() = 0;
};

class CBatchPool final : public CBatchWorkers {
 public:
  // Works out one input by its index; it must not raise (a failure is the input's record).
  using CJob = std::function<CBatchRecord(size_t index)>;

  // Starts `threads` workers over `pending` (input indices, taken in this order); each takes no
  // further input once `stop` is set.
  CBatchPool(size_t threads, std::vector<size_t> pending, CJob job, const std::atomic<bool>& stop);
  // Waits for the workers to end their current input.
  ~CBatchPool() override;
  CBatchPool(const CBatchPool&) = delete;
  CBatchPool& operator=(const CBatchPool&) = delete;

  std::optional<CBatchRecord> Next(std::chrono::milliseconds wait) override;
  bool Finished() override;

 private:
  void Work(bool alone);

  const std::vector<size_t> m_pending;
  const CJob m_job;
  CThreadLender m_lender;  // the threads of workers without work, for a big cell's team
  const std::atomic<bool>& m_stop;
  std::atomic<size_t> m_next{0};
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::deque<CBatchRecord> m_records;
  size_t m_running = 0;
  std::vector<std::thread> m_threads;
};
