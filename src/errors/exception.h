// The root of every user-visible failure and every two-button question.
#pragma once

#include <concepts>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// One printf argument of an alert text: integers (also characters), floating-point numbers
// or text. Typed arguments replace C varargs so that a wrong argument can never crash.
using CFormatArgument = std::variant<long long, double, std::string>;
using CFormatArguments = std::vector<CFormatArgument>;

template <class T>
CFormatArgument ToFormatArgument(const T& value) {
  if constexpr (std::integral<T>) {
    return static_cast<long long>(value);
  } else if constexpr (std::floating_point<T>) {
    return static_cast<double>(value);
  } else {
    return std::string(std::string_view(value));
  }
}

// Formats `format` like printf with typed arguments. Supports the flags, width, precision and
// length modifiers of C; each conversion takes the next argument, converted to what it needs.
std::string FormatPrintf(std::string_view format, const CFormatArguments& arguments);

// FormatPrintf with the arguments of the call: Formatted("%-6s  %f", label, x).
template <class... Arguments>
std::string Formatted(std::string_view format, const Arguments&... arguments) {
  return FormatPrintf(format, CFormatArguments{ToFormatArgument(arguments)...});
}

// How serious an exception is and how its alert behaves.
enum CVHSeverity : unsigned {
  kSeveritySilent = 0,    // never shown
  kSeverityInternal = 1,  // internal error, one button
  kSeverityMessage = 2,   // message, one button
  kSeverityQuestion = 3,  // user action required, two buttons
  kSeverityFatal = 4,
};

class CVHException : public std::exception {
 public:
  static constexpr unsigned kResourceId = 20481;  // the unknown-error text

  // A plain exception shows the unknown-error text.
  explicit CVHException(unsigned severity = kSeverityMessage, long long code = 0,
                        unsigned location = 0);
  CVHException(const CVHException&) = default;
  CVHException& operator=(const CVHException&) = default;
  ~CVHException() override = default;

  unsigned ResourceId() const { return m_resourceId; }
  long long Code() const { return m_code; }
  unsigned Severity() const { return m_severity; }
  unsigned Location() const { return m_location; }
  bool IsReported() const { return m_reported; }

  const std::string& Title() const { return m_title; }
  const std::string& Message() const { return m_message; }
  const std::string& Explanation() const { return m_explanation; }
  const std::string& FirstButton() const { return m_firstButton; }
  const std::string& SecondButton() const { return m_secondButton; }
  const std::string& DefaultButton() const { return m_defaultButton; }
  const std::string& CodeLine() const { return m_codeLine; }

  // A caller-owned flag that the alert can set ("don't show again"); an alert whose flag is
  // already set is not shown and counts as its first button.
  void SetSuppressionFlag(bool* flag) { m_suppression = flag; }
  // The line of the input file that the failure was found on (from 1), 0 when unknown: a
  // command-line run names it beside the file.
  void SetSourceLine(size_t line) { m_sourceLine = line; }
  size_t SourceLine() const { return m_sourceLine; }
  bool* SuppressionFlag() const { return m_suppression; }

  // A copy of the same dynamic class, for handlers that keep an exception past its catch.
  virtual std::unique_ptr<CVHException> Clone() const;

  // Builds the six text pieces and the code line from the resource text of this class.
  virtual void Format(const CFormatArguments& arguments);

  // Shows the alert once through the installed presenter and tells the caller whether to go
  // on: true for silent and message alerts and for a question answered with its first button.
  bool Report();

  const char* what() const noexcept override { return m_message.c_str(); }

 protected:
  // Derived classes construct their bases without formatting, then format once with their
  // own text number.
  struct Deferred {};
  CVHException(Deferred, unsigned severity, long long code, unsigned location);
  void Initialise(unsigned resourceId, const CFormatArguments& arguments);

 private:
  unsigned m_resourceId = kResourceId;
  long long m_code = 0;
  unsigned m_severity = kSeverityMessage;
  unsigned m_location = 0;
  bool m_reported = false;
  std::string m_title;
  std::string m_message;
  std::string m_explanation;
  std::string m_firstButton;
  std::string m_secondButton;
  std::string m_defaultButton;
  std::string m_codeLine;
  bool* m_suppression = nullptr;
  size_t m_sourceLine = 0;

  friend class CVHXMFC;  // replaces the message and explanation after formatting
};

// Declares an exception class `Name` under `Base` whose alert text is resource `Id`.
// Construct with (severity, code, location, printf arguments...); every argument is optional.
#define TESSALINE_EXCEPTION(Name, Base, Id)                                                        \
  class Name : public Base {                                                                       \
   public:                                                                                         \
    static constexpr unsigned kResourceId = Id;                                                    \
    template <class... Arguments>                                                                  \
    explicit Name(unsigned severity = kSeverityMessage, long long code = 0, unsigned location = 0, \
                  const Arguments&... arguments)                                                   \
        : Base(Deferred{}, severity, code, location) {                                             \
      Initialise(Id, CFormatArguments{ToFormatArgument(arguments)...});                            \
    }                                                                                              \
    std::unique_ptr<CVHException> Clone() const override { return std::make_unique<Name>(*this); } \
                                                                                                   \
   protected:                                                                                      \
    Name(Deferred, unsigned severity, long long code, unsigned location)                           \
        : Base(Deferred{}, severity, code, location) {}                                            \
  };
