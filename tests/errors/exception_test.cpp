#include "errors/exception.h"

#include <gtest/gtest.h>

#include "errors/alert.h"
#include "errors/exceptions.h"

namespace {

class RecordingPresenter : public CAlertPresenter {
 public:
  explicit RecordingPresenter(Answer answer) : m_answer(answer) { InstallAlertPresenter(this); }
  ~RecordingPresenter() override { InstallAlertPresenter(nullptr); }
  Answer Present(const CVHAlertContent& alert) override {
    shown.push_back(alert);
    return m_answer;
  }
  std::vector<CVHAlertContent> shown;

 private:
  Answer m_answer;
};

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
  RecordingPresenter presenter(CAlertPresenter::kSecondButton);
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
  RecordingPresenter presenter(CAlertPresenter::kSecondButton);
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

}  // namespace
