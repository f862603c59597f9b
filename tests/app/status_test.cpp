#include "app/status.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "app/status_manager.h"

namespace {

class FakeClock : public CTickClock {
 public:
  uint64_t Milliseconds() const override { return now; }
  uint64_t now = 100000;
};

class RecordingDisplay : public CStatusDisplay {
 public:
  struct Shown {
    std::string text;
    double fraction;
    bool indeterminate;
  };
  void Show(const std::string& text, double fraction, bool indeterminate) override {
    shown.push_back({text, fraction, indeterminate});
    visible = true;
  }
  void Hide() override {
    ++hidden;
    visible = false;
  }
  std::vector<Shown> shown;
  int hidden = 0;
  bool visible = false;
};

// The main thread registered, the manager on a fake clock and a recording display.
class StatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterStatusThread();
    manager = StatusManager();
    manager->SetClock(&clock);
    manager->SetDisplay(&display);
  }
  void TearDown() override {
    manager.reset();
    UnregisterStatusThread();
  }

  // Pumps the manager now and then every millisecond while `ms` milliseconds pass.
  void Run(uint64_t ms) {
    manager->Pump();
    for (uint64_t i = 0; i < ms; ++i) {
      ++clock.now;
      manager->Pump();
    }
  }

  FakeClock clock;
  RecordingDisplay display;
  std::shared_ptr<CVHStatusMgr> manager;
};

TEST(StatusEntry, FractionsAndNormalisation) {
  CStatusEntry entry;
  EXPECT_EQ(entry.Fraction(), 0.0);  // value on the lower bound: indeterminate
  entry.value = 25.0;
  EXPECT_EQ(entry.Fraction(), 0.25);
  entry.lower = entry.upper = 10.0;
  EXPECT_EQ(entry.Fraction(), 1.0);  // empty range, value elsewhere: full
  entry = {"", 150.0, 100.0, 0.0};
  entry.Normalise();
  EXPECT_EQ(entry.lower, 0.0);
  EXPECT_EQ(entry.upper, 100.0);
  EXPECT_EQ(entry.value, 100.0);
  EXPECT_EQ(entry.Fraction(), 1.0);
  entry.value = -5.0;
  entry.Normalise();
  EXPECT_EQ(entry.value, 0.0);
}

TEST(StatusWindowText, ExactlyOneEllipsis) {
  EXPECT_EQ(StatusWindowText("Reading CIF file"), "Reading CIF file...");
  EXPECT_EQ(StatusWindowText("Reading CIF file..."), "Reading CIF file...");
  EXPECT_EQ(StatusWindowText("Reading CIF file...  \n"), "Reading CIF file...");
  EXPECT_EQ(StatusWindowText("Waiting......"), "Waiting......");  // only one is removed
  EXPECT_EQ(StatusWindowText("   "), "");
}

TEST_F(StatusTest, TheWindowWaitsThreeQuartersOfASecond) {
  CStatus status(3706);
  Run(0);
  ASSERT_TRUE(manager->TimerDue());
  EXPECT_EQ(*manager->TimerDue(), clock.now + 750);
  Run(749);
  EXPECT_TRUE(display.shown.empty());
  Run(1);
  ASSERT_EQ(display.shown.size(), 1u);
  EXPECT_EQ(display.shown[0].text, "Generating a reflexions list...");
  EXPECT_TRUE(display.shown[0].indeterminate);
  EXPECT_FALSE(manager->TimerDue());
}

TEST_F(StatusTest, ShortOperationsNeverShowTheWindow) {
  {
    CStatus status("Reading CIF file");
    Run(200);
  }
  Run(2000);
  EXPECT_TRUE(display.shown.empty());
  EXPECT_FALSE(manager->HasWindow());
}

TEST_F(StatusTest, FastUpdatesShowOnlyTheLatestAtMostEveryHundredMilliseconds) {
  CProgress<unsigned long long> progress("Reading %s", "a.cif");
  progress.SetRange(0, 1000);
  Run(750);
  ASSERT_EQ(display.shown.size(), 1u);
  for (unsigned long long i = 1; i <= 1000; ++i) {
    progress.SetValue(i);
    Run(1);
  }
  Run(300);
  // A refresh at most every 100 ms over one second of updates each millisecond.
  EXPECT_GE(display.shown.size(), 5u);
  EXPECT_LE(display.shown.size(), 12u);
  EXPECT_EQ(display.shown.back().text, "Reading a.cif...");
  EXPECT_EQ(display.shown.back().fraction, 1.0);
  EXPECT_FALSE(display.shown.back().indeterminate);
  for (size_t i = 2; i < display.shown.size(); ++i)
    EXPECT_GE(display.shown[i].fraction, display.shown[i - 1].fraction);
}

TEST_F(StatusTest, UpdatesBeforeTheWindowCoalesceIntoTheLatest) {
  CProgress<double> progress(3709);
  for (int i = 0; i < 700; ++i) {
    progress.SetValue(i / 10.0, "Step %d", i);
    Run(1);
  }
  Run(50);
  ASSERT_EQ(display.shown.size(), 1u);
  EXPECT_EQ(display.shown[0].text, "Step 699...");
  EXPECT_DOUBLE_EQ(display.shown[0].fraction, 0.699);
}

TEST_F(StatusTest, NestedStatusesShowTheTopOneAndTheLastHidesTheWindow) {
  {
    CStatus outer(3706);
    Run(900);
    {
      CStatus inner(3727, 42);
      Run(150);
      EXPECT_EQ(display.shown.back().text, "Sorting 42 reflexions...");
    }
    EXPECT_EQ(display.hidden, 0);
  }
  Run(150);
  EXPECT_EQ(display.hidden, 1);
  EXPECT_FALSE(manager->HasWindow());
}

TEST_F(StatusTest, WithinTheThrottleATextWaitsForTheNextHandOver) {
  CProgress<double> progress(3706);
  Run(800);  // shown at 750 ms
  progress.SetValue(10.0, 3709);
  Run(300);
  EXPECT_EQ(display.shown.back().text, "Generating a reflexions list...");
  progress.SetValue(20.0);
  Run(150);
  EXPECT_EQ(display.shown.back().text, "Merging reflexions...");
  EXPECT_DOUBLE_EQ(display.shown.back().fraction, 0.2);
}

TEST_F(StatusTest, ADisabledThreadNeverShows) {
  CStatusDisabler quiet;
  CProgress<double> progress(3706);
  progress.SetValue(50.0);
  Run(2000);
  EXPECT_TRUE(display.shown.empty());
  {
    CStatusEnabler loud;
    progress.SetValue(60.0);
    Run(800);
    ASSERT_EQ(display.shown.size(), 1u);
    EXPECT_DOUBLE_EQ(display.shown[0].fraction, 0.6);
  }
  progress.SetValue(70.0);
  Run(800);
  EXPECT_EQ(display.shown.size(), 1u);
}

TEST_F(StatusTest, UpsideDownRangesAndStrayValuesAreNormalised) {
  CProgress<double> progress(3706);
  progress.SetRange(100.0, 0.0);
  progress.SetValue(250.0);
  Run(800);
  ASSERT_FALSE(display.shown.empty());
  EXPECT_EQ(display.shown.back().fraction, 1.0);
  Run(200);
  progress.SetValue(-3.0);
  Run(200);
  EXPECT_EQ(display.shown.back().fraction, 0.0);
  EXPECT_TRUE(display.shown.back().indeterminate);
}

TEST_F(StatusTest, SetTextShowsTheNewText) {
  CStatus status(3706);
  Run(900);
  status.SetText(3710, 12);
  Run(300);
  EXPECT_EQ(display.shown.back().text, "Optimising indices for 12 unique reflexions...");
}

TEST_F(StatusTest, UnregisteredThreadsAreQuiet) {
  std::thread worker([] {
    CProgress<double> progress(3706);
    progress.SetValue(10.0);
  });
  worker.join();
  Run(2000);
  EXPECT_TRUE(display.shown.empty());
}

TEST_F(StatusTest, EachThreadHasItsOwnStack) {
  CProgress<double> mine(3706);
  std::thread worker([] {
    RegisterStatusThread();
    CStatus theirs(3709);
    UnregisterStatusThread();
  });
  worker.join();
  EXPECT_TRUE(StatusManager());  // the main thread is still registered
  mine.SetValue(30.0);  // the manager shows one text: the latest hand-over's
  Run(800);
  ASSERT_FALSE(display.shown.empty());
  EXPECT_EQ(display.shown.back().text, "Generating a reflexions list...");
  EXPECT_DOUBLE_EQ(display.shown.back().fraction, 0.3);
}

TEST(StatusManagerLifetime, LivesWhileAThreadIsRegistered) {
  EXPECT_FALSE(StatusManager());
  RegisterStatusThread();
  EXPECT_TRUE(StatusManager());
  UnregisterStatusThread();
  EXPECT_FALSE(StatusManager());
}

}  // namespace
