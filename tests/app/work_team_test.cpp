// Teams of borrowed threads: a section gets the calling thread and what the pool has idle, never
// more than the pool holds, and gives the threads back when it ends; small sections and threads
// without a lender keep the behaviour they had.
#include "app/work_team.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <optional>

namespace {

TEST(WorkTeam, BorrowsOnlyIdleThreadsAndReturnsThem) {
  CThreadLender lender(3);
  const CThreadLenderScope scope(lender);
  EXPECT_TRUE(CWorkTeam::Borrowing());
  EXPECT_EQ(CWorkTeam::Largest(), 3);
  EXPECT_EQ(CWorkTeam(true).Size(), 1);  // every other worker busy
  EXPECT_EQ(CWorkTeam(false).Size(), 1);
  lender.Idle();
  lender.Idle();
  {
    const CWorkTeam big(true);
    EXPECT_EQ(big.Size(), 3);
    EXPECT_EQ(CWorkTeam(true).Size(), 1);  // lent out already
  }
  std::optional<CWorkTeam> again(std::in_place, true);
  EXPECT_EQ(again->Size(), 3);
  again.reset();
  lender.Idle();  // a miscount never lends more than the pool holds
  EXPECT_EQ(CWorkTeam(true).Size(), 3);
  EXPECT_EQ(CWorkTeam(false).Size(), 1);
}

TEST(WorkTeam, WithoutALenderASectionTakesOpenMPsCount) {
  EXPECT_FALSE(CWorkTeam::Borrowing());
  EXPECT_EQ(CWorkTeam(true).Size(), omp_get_max_threads());
  EXPECT_EQ(CWorkTeam::Largest(), omp_get_max_threads());
  EXPECT_EQ(CWorkTeam(false).Size(), 1);
}

}  // namespace
