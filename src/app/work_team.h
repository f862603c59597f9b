// How many threads a parallel section of a calculation may use. By default OpenMP's own count.
// Where several calculations run side by side, each on a thread of its own (a batch run's
// workers), a team per calculation would only oversubscribe the cores; the pool lends its idle
// threads instead, so that a big cell calculated while others have run out of work uses the
// cores they freed, and small cells never open a team.
#pragma once

#include <atomic>

class CThreadLender {
 public:
  // `capacity`: the threads of the pool, the borrower's own included.
  explicit CThreadLender(int capacity) : m_capacity(capacity) {}
  int Capacity() const { return m_capacity; }
  // A thread of the pool has run out of work: its core is free to lend.
  void Idle() { m_idle.fetch_add(1); }
  // Takes up to `wanted` idle threads; returns how many it took.
  int Borrow(int wanted);
  void Return(int count) { m_idle.fetch_add(count); }

 private:
  const int m_capacity;
  std::atomic<int> m_idle{0};
};

// Lends the calling thread's calculations the idle threads of `lender` while the object lives.
class CThreadLenderScope {
 public:
  explicit CThreadLenderScope(CThreadLender& lender);
  ~CThreadLenderScope();
  CThreadLenderScope(const CThreadLenderScope&) = delete;
  CThreadLenderScope& operator=(const CThreadLenderScope&) = delete;

 private:
  CThreadLender* m_previous;
};

// The team of one parallel section: one thread when the section is not worth a team, else
// OpenMP's count, or the calling thread and what its lender can spare, borrowed for the
// object's lifetime.
class CWorkTeam {
 public:
  explicit CWorkTeam(bool parallel);
  ~CWorkTeam();
  CWorkTeam(const CWorkTeam&) = delete;
  CWorkTeam& operator=(const CWorkTeam&) = delete;

  int Size() const { return m_size; }
  // The largest team a section of the calling thread can get, for working space made ahead.
  static int Largest();
  // Whether the calling thread borrows its teams: a section then does well to open several
  // teams in turn, each taking the threads freed meanwhile.
  static bool Borrowing();

 private:
  CThreadLender* m_lender = nullptr;
  int m_size = 1;
};
