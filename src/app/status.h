// Scoped progress status. A long operation creates a CStatus (or a CProgress that also
// reports how far it has got) on its own thread; the entry on top of the thread's stack is the
// one the status manager shows. Each thread that may show progress registers once; entries of
// unregistered or disabled threads are kept quiet.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "errors/exception.h"
#include "resources/strings.h"

class CVHStatusMgr;

// One entry of a thread's status stack.
struct CStatusEntry {
  std::string text;
  double value = 0.0;
  double lower = 0.0;
  double upper = 100.0;

  // Swaps an upside-down range and clamps the value into it.
  void Normalise();
  // 0 when the value sits on the lower bound (an indeterminate bar), 1 for an empty range,
  // else the clamped position within the range.
  double Fraction() const;
};

// Registers the calling thread with an empty stack, creating the status manager on the first
// registration; unregistering the last thread stops the manager.
void RegisterStatusThread();
void UnregisterStatusThread();
// The process's status manager, null while no thread is registered.
std::shared_ptr<CVHStatusMgr> StatusManager();

class CStatus {
 public:
  // The text is resource `textId` or `format`, filled like printf with the arguments.
  template <class... Arguments>
  explicit CStatus(unsigned textId, const Arguments&... arguments)
      : CStatus(Formatted{}, Text(textId, arguments...)) {}
  template <class... Arguments>
  explicit CStatus(std::string_view format, const Arguments&... arguments)
      : CStatus(Formatted{}, Text(format, arguments...)) {}
  ~CStatus();
  CStatus(const CStatus&) = delete;
  CStatus& operator=(const CStatus&) = delete;

  // Replaces the text of the thread's top entry and shows it at once.
  template <class... Arguments>
  void SetText(unsigned textId, const Arguments&... arguments) {
    ReplaceTopText(Text(textId, arguments...));
  }
  template <class... Arguments>
  void SetText(std::string_view format, const Arguments&... arguments) {
    ReplaceTopText(Text(format, arguments...));
  }

 protected:
  template <class... Arguments>
  static std::string Text(unsigned textId, const Arguments&... arguments) {
    return Text(ResourceString(textId), arguments...);
  }
  template <class... Arguments>
  static std::string Text(std::string_view format, const Arguments&... arguments) {
    return FormatPrintf(format, CFormatArguments{ToFormatArgument(arguments)...});
  }

  // Sets the top entry's value (and text), normalises it and refreshes.
  void SetTopValue(double value, std::optional<std::string> text);
  void SetTopRange(double lower, double upper);

 private:
  struct Formatted {};
  CStatus(Formatted, std::string text);
  void ReplaceTopText(std::string text);

  bool m_pushed = false;  // false on a thread that is not registered
};

// A status that also reports a value within a range (0 to 100 unless set).
template <class T>
class CProgress : public CStatus {
  static_assert(std::is_same_v<T, double> || std::is_same_v<T, unsigned long long>);

 public:
  using CStatus::CStatus;

  void SetRange(T lower, T upper) {
    SetTopRange(static_cast<double>(lower), static_cast<double>(upper));
  }
  void SetValue(T value) { SetTopValue(static_cast<double>(value), std::nullopt); }
  template <class... Arguments>
  void SetValue(T value, unsigned textId, const Arguments&... arguments) {
    SetTopValue(static_cast<double>(value), Text(textId, arguments...));
  }
  template <class... Arguments>
  void SetValue(T value, std::string_view format, const Arguments&... arguments) {
    SetTopValue(static_cast<double>(value), Text(format, arguments...));
  }
};

// Sets the calling thread's disabled flag for its lifetime and restores it afterwards.
class CStatusSwitch {
 public:
  CStatusSwitch(const CStatusSwitch&) = delete;
  CStatusSwitch& operator=(const CStatusSwitch&) = delete;
  ~CStatusSwitch();

 protected:
  explicit CStatusSwitch(bool disabled);

 private:
  std::optional<uint32_t> m_previous;  // none on an unregistered thread
};

class CStatusEnabler : public CStatusSwitch {
 public:
  CStatusEnabler() : CStatusSwitch(false) {}
};

class CStatusDisabler : public CStatusSwitch {
 public:
  CStatusDisabler() : CStatusSwitch(true) {}
};
