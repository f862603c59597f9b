#include "instances/named_messages.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "errors/exceptions.h"

namespace {

constexpr uint32_t kRangeSize =
    CNamedMessageRegistry::kLastNumber - CNamedMessageRegistry::kFirstNumber + 1;

TEST(NamedMessages, TheProgramsMessagesTakeTheFirstNumbersInTableOrder) {
  std::set<std::string> names;
  for (size_t index = 0; index < kNamedMessageCount; ++index) {
    const CNamedMessage& message = NamedMessage(static_cast<VHMsgName>(index));
    EXPECT_EQ(message.name, kNamedMessageNames[index]);
    EXPECT_EQ(message.sync, CNamedMessageRegistry::kFirstNumber + 2 * index);
    EXPECT_EQ(message.async, message.sync + 1);
    names.insert(message.name);
  }
  EXPECT_EQ(names.size(), kNamedMessageCount);
  EXPECT_EQ(NamedMessage(VHMsgName::DatasetRead).name, "DatasetRead");
  EXPECT_EQ(NamedMessage(VHMsgName::StatusSetProgress).name, "StatusSetProgress");
  EXPECT_EQ(NamedMessage(VHMsgName::Zoom).name, "Zoom");
}

TEST(NamedMessages, ANameRegisteredAgainKeepsItsNumbers) {
  CNamedMessageRegistry registry;
  const CNamedMessage& first = registry.Register("First");
  const CNamedMessage& second = registry.Register("Second");
  EXPECT_EQ(first.sync, 49152u);
  EXPECT_EQ(first.async, 49153u);
  EXPECT_EQ(second.sync, 49154u);
  EXPECT_EQ(&registry.Register("First"), &first);
  EXPECT_EQ(registry.Register("Third").sync, 49156u);  // nothing was used up by the repeat
}

TEST(NamedMessages, NumbersCountAsRegisteredOnlyInsideTheRangeAndTheTable) {
  CNamedMessageRegistry registry;
  EXPECT_FALSE(registry.IsRegistered(49152));  // the table does not exist yet
  const CNamedMessage& message = registry.Register("Probe");
  EXPECT_TRUE(registry.IsRegistered(message.sync));
  EXPECT_TRUE(registry.IsRegistered(message.async));
  EXPECT_EQ(registry.Find(message.async), &message);
  EXPECT_FALSE(registry.IsRegistered(message.async + 1));
  EXPECT_FALSE(registry.IsRegistered(49151));
  EXPECT_FALSE(registry.IsRegistered(65536));
  EXPECT_FALSE(registry.IsRegistered(0));
}

// The full names are all that count: "X-Async" is registered under the same full name as the
// posted number of "X", so it shares that number.
TEST(NamedMessages, NamesMeetThroughTheirFullRegisteredNames) {
  CNamedMessageRegistry registry;
  const CNamedMessage& plain = registry.Register("Ping");
  const CNamedMessage& suffixed = registry.Register("Ping-Async");
  EXPECT_EQ(suffixed.sync, plain.async);
  EXPECT_EQ(suffixed.async, plain.async + 1);
  EXPECT_EQ(registry.Find(plain.async), &plain);
  EXPECT_EQ(registry.Find(suffixed.async), &suffixed);
}

TEST(NamedMessages, AnExhaustedRangeRefusesNewNamesButKeepsTheOldOnes) {
  CNamedMessageRegistry registry;
  for (uint32_t index = 0; index < kRangeSize / 2; ++index) {
    registry.Register("Name" + std::to_string(index));
  }
  EXPECT_EQ(registry.Register("Name8191").async, CNamedMessageRegistry::kLastNumber);
  EXPECT_THROW(registry.Register("OneTooMany"), CVHXWinAPI);
  EXPECT_THROW(registry.Register("OneTooMany"), CVHXWinAPI);
  EXPECT_EQ(registry.Register("Name0").sync, CNamedMessageRegistry::kFirstNumber);
  EXPECT_FALSE(registry.IsRegistered(CNamedMessageRegistry::kLastNumber + 1));
}

// With one number left a name needing two is refused whole, one needing one still fits.
TEST(NamedMessages, TheRoomForBothNumbersIsCheckedBeforeEitherIsTaken) {
  CNamedMessageRegistry registry;
  registry.Register("A");
  registry.Register("A-Async");  // one new number
  for (uint32_t index = 0; index < kRangeSize / 2 - 2; ++index) {
    registry.Register("Name" + std::to_string(index));
  }
  EXPECT_THROW(registry.Register("Fresh"), CVHXWinAPI);
  EXPECT_FALSE(registry.IsRegistered(CNamedMessageRegistry::kLastNumber));
  EXPECT_EQ(registry.Register("A-Async-Async").async, CNamedMessageRegistry::kLastNumber);
}

}  // namespace
