#include "cli/batch_pool.h"

#include <omp.h>

#include <optional>

CBatchPool::CBatchPool(size_t threads, std::vector<size_t> pending, CJob job,
                       const std::atomic<bool>& stop)
    : m_pending(std::move(pending)),
      m_job(std::move(job)),
      m_lender(static_cast<int>(std::max<size_t>(1, threads))),
      m_stop(stop) {
  const size_t asked = std::max<size_t>(1, threads);
  threads = std::max<size_t>(1, std::min(threads, m_pending.size()));
  m_running = threads;
  // Threads asked for but without an input of their own are idle from the start.
  m_lender.Return(static_cast<int>(asked - threads));
  for (size_t i = 0; i < threads; ++i)
    m_threads.emplace_back([this, threads] { Work(threads == 1); });
}

CBatchPool::~CBatchPool() {
  for (std::thread& thread : m_threads) thread.join();
}

void CBatchPool::Work(bool alone) {
  // The structure-factor loops open OpenMP teams of their own for large cells. With every core
  // busy on a structure of its own, such teams would only oversubscribe the machine, so a worker
  // among several calculates on its own thread and borrows for a big cell only the threads of
  // workers that have run out of inputs; a lone worker keeps the teams, which then use the idle
  // cores for the big cells (the results do not depend on the team's size).
  std::optional<CThreadLenderScope> lending;
  if (!alone) {
    omp_set_num_threads(1);
    lending.emplace(m_lender);
  }
  for (size_t slot; !m_stop && (slot = m_next++) < m_pending.size();) {
    CBatchRecord record = m_job(m_pending[slot]);
    const std::lock_guard lock(m_lock);
    m_records.push_back(std::move(record));
    m_changed.notify_all();
  }
  m_lender.Idle();
  const std::lock_guard lock(m_lock);
  --m_running;
  m_changed.notify_all();
}

std::optional<CBatchRecord> CBatchPool::Next(std::chrono::milliseconds wait) {
  std::unique_lock lock(m_lock);
  m_changed.wait_for(lock, wait, [this] { return !m_records.empty() || m_running == 0; });
  if (m_records.empty()) return std::nullopt;
  CBatchRecord record = std::move(m_records.front());
  m_records.pop_front();
  return record;
}

bool CBatchPool::Finished() {
  const std::lock_guard lock(m_lock);
  return m_running == 0 && m_records.empty();
}
