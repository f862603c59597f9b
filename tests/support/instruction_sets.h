// Runs a test body once on each instruction set that Highway compiled and this processor runs,
// so that the widest and the baseline vector code are both checked on one machine.
#pragma once

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cstdint>
#include <vector>

namespace VHTestSupport {

// Restricts the dispatch to one instruction set for its lifetime.
class CInstructionSetScope {
 public:
  explicit CInstructionSetScope(int64_t target) { hwy::SetSupportedTargetsForTest(target); }
  ~CInstructionSetScope() { hwy::SetSupportedTargetsForTest(0); }
  CInstructionSetScope(const CInstructionSetScope&) = delete;
  CInstructionSetScope& operator=(const CInstructionSetScope&) = delete;
};

// Runs `body` on each instruction set, checking first with `chosen()` (the name of the set a
// kernel dispatches to now) that the dispatch took it.
template <class Chosen, class Body>
void OnEachInstructionSet(Chosen chosen, Body body) {
  const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
  ASSERT_GE(targets.size(), 2u) << "the best and the baseline instruction set";
  for (const int64_t target : targets) {
    const CInstructionSetScope scope(target);
    SCOPED_TRACE(hwy::TargetName(target));
    ASSERT_STREQ(chosen(), hwy::TargetName(target));
    body();
  }
}

}  // namespace VHTestSupport
