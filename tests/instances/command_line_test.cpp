#include "instances/command_line.h"

#include <gtest/gtest.h>

#include <array>
#include <string_view>
#include <vector>

namespace {

using ERequest = CVHCommandLineInfo::ERequest;

CVHCommandLineInfo Parse(std::vector<std::string_view> arguments) {
  return ParseCommandLine(arguments);
}

TEST(CommandLine, ArgumentsAreFilesToOpenOrToPrint) {
  EXPECT_EQ(Parse({}), (CVHCommandLineInfo{ERequest::kNothing, {}}));
  EXPECT_EQ(Parse({"quartz.cif", "b.tess"}),
            (CVHCommandLineInfo{ERequest::kOpen, {"quartz.cif", "b.tess"}}));
  EXPECT_EQ(Parse({"quartz.cif", "--print"}),
            (CVHCommandLineInfo{ERequest::kPrint, {"quartz.cif"}}));
  EXPECT_EQ(Parse({"--print"}), (CVHCommandLineInfo{ERequest::kNothing, {}}));
  EXPECT_EQ(Parse({"--", "--print", "-odd.cif", "--"}),
            (CVHCommandLineInfo{ERequest::kOpen, {"--print", "-odd.cif", "--"}}));
}

TEST(CommandLine, TheBlockLayoutIsFixedByteForByte) {
  const std::vector<uint8_t> block = SerialiseCommandLine({ERequest::kPrint, {"a.cif", ""}});
  const std::vector<uint8_t> expected = {'V', 'H', 'C', 'L', 1,   0,   0,   0,   2,   2, 0, 0, 0,
                                         5,   0,   0,   0,   'a', '.', 'c', 'i', 'f', 0, 0, 0, 0};
  EXPECT_EQ(block, expected);
}

TEST(CommandLine, ABlockReadsBackAsTheCommandLineItCameFrom) {
  for (const CVHCommandLineInfo& commandLine :
       {CVHCommandLineInfo{}, CVHCommandLineInfo{ERequest::kOpen, {"/tmp/Ångström α.cif"}},
        CVHCommandLineInfo{ERequest::kPrint, {"a", "b c", std::string(300, 'x')}}}) {
    EXPECT_EQ(DeserialiseCommandLine(SerialiseCommandLine(commandLine)), commandLine);
  }
}

TEST(CommandLine, ADamagedBlockIsRefusedWhole) {
  const std::vector<uint8_t> good = SerialiseCommandLine({ERequest::kOpen, {"a.cif", "b.cif"}});
  for (size_t length = 0; length < good.size(); ++length) {  // every truncation
    EXPECT_FALSE(DeserialiseCommandLine(std::span(good).first(length))) << length;
  }
  auto changed = [&good](size_t offset, uint8_t value) {
    std::vector<uint8_t> block = good;
    block[offset] = value;
    return DeserialiseCommandLine(block);
  };
  EXPECT_FALSE(changed(0, 'X'));  // not our block
  EXPECT_FALSE(changed(4, 2));    // a layout we do not know
  EXPECT_FALSE(changed(8, 3));    // an unknown request
  EXPECT_FALSE(changed(9, 3));    // more files than the block holds
  EXPECT_FALSE(changed(16, 1));   // a path length beyond the end
  EXPECT_FALSE(changed(9, 1));    // fewer files than the block holds
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  EXPECT_FALSE(DeserialiseCommandLine(longer));
}

}  // namespace
