#include "cli/arguments.h"

#include <gtest/gtest.h>


namespace {

const std::vector<COptionSpec> kSpecs = {{"--origin", true}, {"--list", false}, {"--out", true, "-o"}};

TEST(Arguments, SplitsOptionsAndPositionals) {
  const std::vector<std::string> input = {"a.cif", "--origin", "2", "-o", "-", "--list", "b.cif"};
  const CArguments args(input, kSpecs);
  EXPECT_EQ(args.Positionals(), (std::vector<std::string>{"a.cif", "b.cif"}));
  EXPECT_EQ(args.Integer("--origin"), 2);
  EXPECT_EQ(args.Value("--out"), "-");
  EXPECT_TRUE(args.Has("--list"));
  EXPECT_EQ(CArguments(std::vector<std::string>{"--origin=1"}, kSpecs).Integer("--origin"), 1);
  EXPECT_EQ(CArguments(std::vector<std::string>{"--", "--list"}, kSpecs).Positionals().size(), 1u);
  EXPECT_EQ(CArguments(std::vector<std::string>{"-5"}, kSpecs).Positionals().front(), "-5");
}

TEST(Arguments, RefusesBadUsage) {
  EXPECT_THROW(CArguments(std::vector<std::string>{"--colour"}, kSpecs), CUsageError);
  EXPECT_THROW(CArguments(std::vector<std::string>{"--origin"}, kSpecs), CUsageError);
  EXPECT_THROW(CArguments(std::vector<std::string>{"--list=1"}, kSpecs), CUsageError);
  EXPECT_THROW(CArguments(std::vector<std::string>{"--origin", "two"}, kSpecs).Integer("--origin"), CUsageError);
}

TEST(Arguments, ParsesNumbersStrictly) {
  EXPECT_EQ(ParseDouble("1.5"), 1.5);
  EXPECT_EQ(ParseDouble("1e3"), 1000.0);
  EXPECT_FALSE(ParseDouble("1.5x"));
  EXPECT_FALSE(ParseDouble(""));
  EXPECT_FALSE(ParseDouble("nan"));
  EXPECT_FALSE(ParseInteger("3.0"));
  const CArguments args(std::vector<std::string>{"--origin", "1,2,3"}, kSpecs);
  EXPECT_EQ(args.Doubles("--origin", 3), (std::vector<double>{1, 2, 3}));
  EXPECT_THROW(args.Doubles("--origin", 4), CUsageError);
  EXPECT_THROW(CArguments(std::vector<std::string>{"--origin", "1,2,"}, kSpecs).Doubles("--origin", 2),
               CUsageError);
}

}  // namespace
