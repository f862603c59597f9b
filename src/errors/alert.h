// How an alert reaches the user. The core decides what an alert says and which button is the
// default; a presenter only draws it (a dialog in the GUI) or prints it (headless runs).
#pragma once

#include <string>

struct CVHAlertContent {
  enum Type { kInformation = 0, kQuestion = 1, kError = 2 };

  Type type = kInformation;
  std::string title;
  std::string message;
  std::string explanation;
  std::string firstButton;   // always shown
  std::string secondButton;  // shown for questions only
  std::string codeLine;
  long long systemCode = 0;  // the system's error number behind it (errno), 0 for none
  size_t sourceLine = 0;     // the line of the input file it is about, 0 for none
  bool firstButtonIsDefault = false;
  bool* suppression = nullptr;  // offer a "don't show again" box that sets this flag
};

class CAlertPresenter {
 public:
  enum Answer { kFirstButton = 1, kSecondButton = 2 };

  virtual ~CAlertPresenter() = default;
  virtual Answer Present(const CVHAlertContent& alert) = 0;
};

// Alerts switched off: each alert becomes one line on stderr and counts as its first button.
class CStderrAlertPresenter final : public CAlertPresenter {
 public:
  Answer Present(const CVHAlertContent& alert) override;
};

// The presenter used by CVHException::Report. Installing nullptr restores the stderr one.
CAlertPresenter& CurrentAlertPresenter();
void InstallAlertPresenter(CAlertPresenter* presenter);

// Installs a presenter for the lifetime of the object and restores the previous one afterwards.
class CAlertPresenterScope {
 public:
  explicit CAlertPresenterScope(CAlertPresenter& presenter);
  ~CAlertPresenterScope();
  CAlertPresenterScope(const CAlertPresenterScope&) = delete;
  CAlertPresenterScope& operator=(const CAlertPresenterScope&) = delete;

 private:
  CAlertPresenter* m_previous;
};

// The line written for an alert when alerts are switched off (without the line feed).
std::string AlertLine(const CVHAlertContent& alert);
