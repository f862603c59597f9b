#include "errors/exception.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <limits>
#include <new>
#include <stdexcept>

#include "errors/alert.h"
#include "errors/exceptions.h"
#include "support/recorders.h"

namespace {

TEST(FormatPrintf, TakesTypedArgumentsInOrder) {
  EXPECT_EQ(FormatPrintf("%s has %d atoms", {std::string("Quartz"), 9LL}), "Quartz has 9 atoms");
  EXPECT_EQ(FormatPrintf("%1.f million (%.1f)", {2.6, 0.25}), "3 million (0.2)");
  EXPECT_EQ(FormatPrintf("[%4ld] %c %x %%", {5LL, static_cast<long long>('R'), 255LL}), "[   5] R ff %");
  EXPECT_EQ(FormatPrintf("%*s|", {6LL, std::string("ab")}), "    ab|");
  // Missing or mismatched arguments never crash.
  EXPECT_EQ(FormatPrintf("%s and %d", {}), " and 0");
  EXPECT_EQ(FormatPrintf("%d", {std::string("12")}), "12");
  EXPECT_EQ(FormatPrintf("50%", {}), "50%");
}

// Integers and texts come out as printf writes them, flags, widths and precisions included.
TEST(FormatPrintf, IntegersAndTextsAsPrintfWritesThem) {
  // Ours take any integer for %d; the C library's directive names the long long it is given.
  const std::pair<const char*, const char*> integerDirectives[] = {
      {"%d", "%lld"},       {"%i", "%lli"},           {"%5d", "%5lld"},       {"%-5d|", "%-5lld|"},
      {"%05d", "%05lld"},   {"%+d", "%+lld"},         {"% d", "% lld"},       {"%.3d", "%.3lld"},
      {"%8.3d", "%8.3lld"}, {"%-8.3d|", "%-8.3lld|"}, {"%08.3d", "%08.3lld"}, {"%+05d", "%+05lld"},
      {"%.0d", "%.0lld"},   {"%lld", "%lld"},         {"%x", "%llx"},         {"%#o", "%#llo"}};
  const long long integers[] = {0,
                                7,
                                -7,
                                12345,
                                -123456,
                                std::numeric_limits<long long>::min(),
                                std::numeric_limits<long long>::max()};
  char expected[200];
  for (const auto& [directive, c] : integerDirectives)
    for (const long long value : integers) {
      std::snprintf(expected, sizeof expected, c, value);
      EXPECT_EQ(FormatPrintf(directive, {value}), expected) << directive << " " << value;
    }
  const char* textDirectives[] = {"%s", "%10s", "%-10s|", "%.2s", "%8.3s", "%-8.3s|", "%.0s"};
  for (const char* directive : textDirectives)
    for (const char* text : {"", "a", "Quartz", "Al2 O3 corundum"}) {
      std::snprintf(expected, sizeof expected, directive, text);
      EXPECT_EQ(FormatPrintf(directive, {std::string(text)}), expected) << directive << " " << text;
    }
  // Widths and precisions from the arguments: a negative width adjusts left, a negative
  // precision counts as none.
  EXPECT_EQ(FormatPrintf("%*d|", {-4LL, 7LL}), "7   |");
  EXPECT_EQ(FormatPrintf("%.*f", {-1LL, 0.5}), "0.500000");
  EXPECT_EQ(FormatPrintf("%*.*s|", {5LL, 2LL, std::string("abc")}), "   ab|");
}

// Reals come out as printf writes them in the C locale, flags, widths and precisions included;
// and they stay so when the process runs in a locale with a decimal comma.
TEST(FormatPrintf, RealsAsTheCLocaleWritesThem) {
  const char* directives[] = {"%f",   "%.4f", "%10.4f", "%-10.2f|", "%+.3e",    "%12.4e",
                              "%g",   "%.6g", "%G",     "%E",       "%08.3f",   "% .2f",
                              "%.0f", "%1.f", "%e",     "%.10g",    "%-+9.1f|", "%.3a"};
  const double values[] = {0.0,      -0.0, 1.0, -2.5, 3.14159265358979, 1e-7, 123456789.123,
                           -6.02e23, 0.5,  2.5, 1e300};
  auto check = [&] {
    for (const char* directive : directives) {
      for (const double value : values) {
        char expected[1200];
        std::snprintf(expected, sizeof expected, directive, value);
        EXPECT_EQ(FormatPrintf(directive, {value}), expected) << directive << " " << value;
      }
    }
  };
  check();
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  for (const char* comma : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
    if (!std::setlocale(LC_NUMERIC, comma)) continue;
    EXPECT_EQ(FormatPrintf("%.2f", {1.5}), "1.50") << comma;
    EXPECT_EQ(FormatPrintf("%g", {0.25}), "0.25") << comma;
    break;
  }
  std::setlocale(LC_NUMERIC, previous.c_str());
}

TEST(Exceptions, FamilyWithoutTextShowsTheUnknownError) {
  const CVHXDiffWnd error(kSeverityInternal, 5);
  EXPECT_EQ(error.Message(), "An unknown error (   5) has occurred.");
  EXPECT_EQ(error.Title(), "Internal Error");
  EXPECT_EQ(error.CodeLine(), "59f4:0005");
  EXPECT_EQ(CVHXDiffWnd(kSeverityMessage, 5, 0x1234).CodeLine(), "59f4:0005:1234");
}

TEST(Exceptions, ArgumentsFillTheAlertText) {
  const CVHXBadADPUIso error(kSeverityMessage, 0, 0, std::string("O2"));
  EXPECT_EQ(error.Title(), "Invalid Data");
  EXPECT_EQ(error.Message(), "Invalid displacement parameters for site O2");
  EXPECT_STREQ(error.what(), "Invalid displacement parameters for site O2");
  EXPECT_TRUE(error.FirstButton().empty());
}

TEST(Exceptions, ReportShowsOnceAndAnswersBySeverity) {
  CRecordingAlertPresenter presenter(CAlertPresenter::kSecondButton);
  CVHXInvalidSiteOcc message;
  EXPECT_TRUE(message.Report());
  EXPECT_TRUE(message.Report());
  EXPECT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].type, CVHAlertContent::kInformation);
  EXPECT_EQ(presenter.shown[0].firstButton, "OK");

  CVHXInvalidSiteOcc question(kSeverityQuestion);
  EXPECT_FALSE(question.Report());  // the second button was chosen
  CVHXInvalidSiteOcc fatal(kSeverityFatal);
  EXPECT_FALSE(fatal.Report());
  CVHXInvalidSiteOcc silent(kSeveritySilent);
  EXPECT_TRUE(silent.Report());
  EXPECT_EQ(presenter.shown.size(), 3u);
}

TEST(Exceptions, SuppressedAlertCountsAsFirstButton) {
  CRecordingAlertPresenter presenter(CAlertPresenter::kSecondButton);
  bool suppressed = true;
  CVHXInvalidSiteOcc question(kSeverityQuestion);
  question.SetSuppressionFlag(&suppressed);
  EXPECT_TRUE(question.Report());
  EXPECT_TRUE(presenter.shown.empty());
}

TEST(Exceptions, HeadlessAlertIsOneLineOnStderr) {
  CVHXSiteOccSumNotOne error;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(error.Report());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Tessaline : [59fc:0000] : Invalid site occupancy. (The sum of the site occupancy ratios "
            "must be 1.0. Please correct your entry.)\n");
}

TEST(Exceptions, CloneKeepsClassAndTexts) {
  const CVHXBadADPUIso error(kSeverityMessage, 0, 0, std::string("O2"));
  const std::unique_ptr<CVHException> copy = error.Clone();
  EXPECT_NE(dynamic_cast<CVHXBadADPUIso*>(copy.get()), nullptr);
  EXPECT_EQ(copy->Message(), error.Message());
}

TEST(Exceptions, CodeLineOfAFileError) {
  const CVHXFileNotOpen error(kSeverityMessage, 5);
  EXPECT_EQ(error.CodeLine(), "526f:0005");
  EXPECT_EQ(error.Title(), "Error Opening File");
  EXPECT_EQ(CVHXTSFile(kSeverityMessage, 5).Message(), "An unknown error (   5) has occurred.");
}

TEST(Exceptions, DefaultButtonFollowsTheSixthPiece) {
  CRecordingAlertPresenter presenter(CAlertPresenter::kFirstButton);
  CVHXStructuresDestroySelected withDefault(kSeverityQuestion);
  EXPECT_TRUE(withDefault.Report());
  CVHXFileLotsOfFiles withoutDefault(kSeverityQuestion, 0, 0, 25);
  EXPECT_TRUE(withoutDefault.Report());
  ASSERT_EQ(presenter.shown.size(), 2u);
  EXPECT_EQ(presenter.shown[0].firstButton, "Continue");
  EXPECT_EQ(presenter.shown[0].secondButton, "Cancel");
  EXPECT_TRUE(presenter.shown[0].firstButtonIsDefault);
  EXPECT_FALSE(presenter.shown[1].firstButtonIsDefault);
  EXPECT_EQ(presenter.shown[1].message, "You are about to open 25 files.");
  EXPECT_EQ(presenter.shown[1].type, CVHAlertContent::kQuestion);
}

TEST(Exceptions, ManyReflexionsQuestionFormatsItsNumbers) {
  const CVHXLotsOfRefs question(kSeverityQuestion, 0, 0, 2.5, 0.1);
  EXPECT_EQ(question.Message(), "Do you really want to calculate 2 million reflexions?");
  EXPECT_EQ(question.Explanation(), "You may truncate to a reasonable number (0.1 million).");
  EXPECT_EQ(question.SecondButton(), "Truncate");
}

TEST(Exceptions, ForeignExceptionsAreConverted) {
  auto convert = [](auto thrown, unsigned severity) {
    try {
      throw thrown;
    } catch (...) {
      return ConvertException(std::current_exception(), severity);
    }
  };
  EXPECT_EQ(convert(std::bad_alloc(), kSeverityFatal)->ResourceId(), CVHXOutOfMemory::kResourceId);
  EXPECT_EQ(convert(std::bad_alloc(), kSeverityMessage)->ResourceId(), CVHXAllocationFailed::kResourceId);
  EXPECT_EQ(convert(42, kSeverityMessage)->ResourceId(), CVHXUnknown::kResourceId);
  const auto wrapped = convert(std::runtime_error("disk on fire"), kSeverityMessage);
  EXPECT_EQ(wrapped->Explanation(), "disk on fire");
  EXPECT_EQ(wrapped->Message().rfind("A system error (", 0), 0u);
  const auto ours = convert(CVHXFileEOF(kSeverityMessage), kSeverityFatal);
  EXPECT_NE(dynamic_cast<CVHXFileEOF*>(ours.get()), nullptr);
  EXPECT_EQ(ours->Severity(), kSeverityMessage);
}

}  // namespace
