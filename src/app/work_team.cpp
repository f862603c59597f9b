#include "app/work_team.h"

#include <omp.h>

#include <algorithm>
#include <utility>

namespace {
thread_local CThreadLender* t_lender = nullptr;
}  // namespace

int CThreadLender::Borrow(int wanted) {
  int idle = m_idle.load();
  int taken = 0;
  do {
    taken = std::clamp(wanted, 0, idle);
  } while (taken > 0 && !m_idle.compare_exchange_weak(idle, idle - taken));
  return taken;
}

CThreadLenderScope::CThreadLenderScope(CThreadLender& lender)
    : m_previous(std::exchange(t_lender, &lender)) {}

CThreadLenderScope::~CThreadLenderScope() {
  t_lender = m_previous;
}

CWorkTeam::CWorkTeam(bool parallel) {
  if (!parallel) return;
  if (!t_lender) {
    m_size = omp_get_max_threads();
    return;
  }
  m_lender = t_lender;
  m_size = 1 + m_lender->Borrow(m_lender->Capacity() - 1);
}

CWorkTeam::~CWorkTeam() {
  if (m_lender) m_lender->Return(m_size - 1);
}

int CWorkTeam::Largest() {
  return t_lender ? std::max(t_lender->Capacity(), 1) : omp_get_max_threads();
}

bool CWorkTeam::Borrowing() {
  return t_lender != nullptr;
}
