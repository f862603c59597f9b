// Test doubles for the core's two ways of telling the user something: alerts and the status log.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/status_log.h"
#include "errors/alert.h"

// Records every alert and answers with a fixed button; installed for its lifetime.
class CRecordingAlertPresenter : public CAlertPresenter {
 public:
  explicit CRecordingAlertPresenter(Answer answer = kFirstButton) : m_answer(answer), m_scope(*this) {}
  Answer Present(const CVHAlertContent& alert) override {
    shown.push_back(alert);
    return m_answer;
  }
  std::vector<CVHAlertContent> shown;

 private:
  Answer m_answer;
  CAlertPresenterScope m_scope;
};

// Records every status-log line; installed for its lifetime.
class CRecordingStatusLog : public CStatusLog {
 public:
  CRecordingStatusLog() : m_scope(*this) {}
  void Write(std::string_view line) override { lines.emplace_back(line); }
  bool Contains(std::string_view text) const {
    for (const std::string& line : lines)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> lines;

 private:
  CStatusLogScope m_scope;
};
