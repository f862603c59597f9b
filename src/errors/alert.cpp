#include "errors/alert.h"

#include <atomic>
#include <cstdio>

namespace {

CStderrAlertPresenter g_stderrPresenter;
std::atomic<CAlertPresenter*> g_presenter{nullptr};

}  // namespace

std::string AlertLine(const CVHAlertContent& alert) {
  return "Tessaline : [" + alert.codeLine + "] : " + alert.message + " (" + alert.explanation +
         ")";
}

CAlertPresenter::Answer CStderrAlertPresenter::Present(const CVHAlertContent& alert) {
  const std::string line = AlertLine(alert) + "\n";
  std::fputs(line.c_str(), stderr);
  return kFirstButton;
}

CAlertPresenter& CurrentAlertPresenter() {
  CAlertPresenter* presenter = g_presenter.load();
  return presenter ? *presenter : g_stderrPresenter;
}

void InstallAlertPresenter(CAlertPresenter* presenter) { g_presenter.store(presenter); }

CAlertPresenterScope::CAlertPresenterScope(CAlertPresenter& presenter) : m_previous(g_presenter.exchange(&presenter)) {}

CAlertPresenterScope::~CAlertPresenterScope() { g_presenter.store(m_previous); }
