#include "crystal/hall_symbol.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace {

// An operator as whole numbers: the rotation, then the translation in 144ths modulo 1.
using Key = std::array<long, 12>;
using Group = std::set<Key>;

Key KeyOf(const CTSSymOp& op, const std::array<long, 3>& shift = {}) {
  Key key{};
  for (int i = 0; i < 9; ++i) key[i] = std::lround(op.Rotation()[i]);
  for (int i = 0; i < 3; ++i)
    key[9 + i] = ((std::lround(op.Translation()[i] * 144) + shift[i]) % 144 + 144) % 144;
  return key;
}

// The operators of a symbol as a set; empty when it is refused.
Group GroupOf(std::string_view hall) {
  Group group;
  for (const CTSSymOp& op : OperatorsOfHallSymbol(hall).value_or(std::vector<CTSSymOp>{}))
    group.insert(KeyOf(op));
  return group;
}

// The operators written out ("x,y,z;-x,y+1/2,-z"), each shifted by each centring translation.
Group GroupOfText(const std::string& ops, const std::vector<std::array<long, 3>>& centring = {{}}) {
  Group group;
  std::stringstream list(ops);
  for (std::string text; std::getline(list, text, ';');) {
    const std::optional<CTSSymOp> op = CTSSymOp::Parse(text);
    EXPECT_TRUE(op) << text;
    for (const auto& c : centring)
      if (op) group.insert(KeyOf(*op, c));
  }
  return group;
}

// Holds the identity and every product of two of its members (a finite set so closed is a group).
bool IsClosed(const Group& group) {
  if (!group.count(Key{1, 0, 0, 0, 1, 0, 0, 0, 1})) return false;
  for (const Key& a : group) {
    for (const Key& b : group) {
      Key p{};
      for (int i = 0; i < 3; ++i) {
        long t = a[9 + i];
        for (int j = 0; j < 3; ++j) {
          for (int k = 0; k < 3; ++k) p[i * 3 + j] += a[i * 3 + k] * b[k * 3 + j];
          t += a[i * 3 + j] * b[9 + j];
        }
        p[9 + i] = (t % 144 + 144) % 144;
      }
      if (!group.count(p)) return false;
    }
  }
  return true;
}

TEST(HallSymbol, EveryTabulatedSettingGivesItsOperators) {
  const std::filesystem::path path =
      std::filesystem::path(TESSALINE_SHARED_DATA) / "tables" / "spacegroup_settings.tsv";
  if (!std::filesystem::exists(path))
    GTEST_SKIP() << "the space-group settings table is not at " << path << " (shared data absent)";
  // Centring translations in 144ths, identity first, by the table's lattice letter.
  const std::map<std::string, std::vector<std::array<long, 3>>> kCentring = {
      {"P", {{0, 0, 0}}},
      {"A", {{0, 0, 0}, {0, 72, 72}}},
      {"B", {{0, 0, 0}, {72, 0, 72}}},
      {"C", {{0, 0, 0}, {72, 72, 0}}},
      {"I", {{0, 0, 0}, {72, 72, 72}}},
      {"R", {{0, 0, 0}, {96, 48, 48}, {48, 96, 96}}},
      {"F", {{0, 0, 0}, {0, 72, 72}, {72, 0, 72}, {72, 72, 0}}}};
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  std::map<std::string, size_t> column;
  std::stringstream header(line);
  for (std::string name; std::getline(header, name, '\t');) column[name] = column.size();
  size_t rows = 0, passed = 0;
  while (std::getline(file, line)) {
    std::vector<std::string> cells;
    std::stringstream row(line);
    for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
    ASSERT_EQ(cells.size(), column.size()) << line;
    ++rows;
    const std::string& hall = cells[column["hall"]];
    const auto& centring = kCentring.at(cells[column["lattice"]]);
    ASSERT_EQ(std::stoul(cells[column["n_centring"]]), centring.size()) << hall;
    const size_t count = std::stoul(cells[column["n_ops"]]) * centring.size();
    const std::optional<std::vector<CTSSymOp>> ops = OperatorsOfHallSymbol(hall);
    const Group group = GroupOf(hall);
    const bool right = ops && ops->size() == count && IsClosed(group) &&
                       group == GroupOfText(cells[column["ops"]], centring);
    EXPECT_TRUE(right) << hall << " (" << count << " operators with centring)";
    passed += right;
  }
  EXPECT_EQ(rows, 530u);
  EXPECT_EQ(passed, rows);
}

TEST(HallSymbol, WellKnownSymbolsGiveTheirGroups) {
  struct Known {
    const char* hall;
    size_t count;
    const char* someOps;
  };
  const Known kKnown[] = {
      {"P 1", 1, "x,y,z"},
      {"-P 1", 2, "-x,-y,-z"},
      {"-P 2ybc", 4, "-x,y+1/2,-z+1/2;x,-y+1/2,z+1/2"},
      {"C -2yc", 4, "x,-y,z+1/2;x+1/2,y+1/2,z;x+1/2,-y+1/2,z+1/2"},
      {"R 3", 9, "-y,x-y,z;x+2/3,y+1/3,z+1/3;-x+y+1/3,-x+2/3,z+2/3"},
      {"P 3*", 3, "z,x,y;y,z,x"},
      {"-R 3 2\"", 36, "y,x,-z;-x+y+1/3,y+2/3,z+2/3;-x,-y,-z"},
      {"P 61 2 (0 0 -1)", 12, "x-y,x,z+1/6;y,x,-z+1/3;x,x-y,-z+1/6"},
      {"P 31 2c (0 0 1)", 6, "-y,x-y,z+1/3;-y,-x,-z+2/3;x,x-y,-z"},
      {"-F 4vw 2vw 3", 192, "-x,-y,-z;-y,x+1/4,z+1/4;-x+1/2,y+1/4,z+3/4;-x+3/4,-y+1/4,z+1/2;z,x,y"},
      {"-I 4bd 2c 3", 96, "x+1/4,z+1/4,y+1/4;y+1/4,-x+3/4,-z+1/4;x+1/2,y+1/2,z+1/2"},
      {"P 4n 2 3 -1n", 48, "-x+1/2,-y+1/2,-z+1/2;z,y,x;-y+1/2,x+1/2,z+1/2"},
      {"P 4x", 4, "x,-z,y"},
      {"P 6", 6, "x-y,x,z"},
      {"P 1 (1/2x,y,z)", 2, "x+1/2,y,z"},  // a cell twice as long along a
  };
  for (const Known& known : kKnown) {
    const auto ops = OperatorsOfHallSymbol(known.hall);
    ASSERT_TRUE(ops) << known.hall;
    EXPECT_EQ(ops->size(), known.count) << known.hall;
    EXPECT_EQ(KeyOf(ops->front()), KeyOf(CTSSymOp())) << "identity first in " << known.hall;
    const Group group = GroupOf(known.hall);
    EXPECT_EQ(group.size(), known.count) << "repeated operators in " << known.hall;
    EXPECT_TRUE(IsClosed(group)) << known.hall;
    for (const Key& key : GroupOfText(known.someOps))
      EXPECT_TRUE(group.count(key)) << known.hall << " lacks one of " << known.someOps;
  }
}

TEST(HallSymbol, SpellingsOfOneGroupAgree) {
  const std::vector<std::vector<const char*>> kSame = {
      {"-P 2ybc", "-p 2YBC", "  -P   2ybc ", "-P_2ybc", "'-P 2ybc'", "\"-P 2ybc\"", "-P 2ybc'",
       "'-P 2ybc", "-P\t2ybc\n", "-P 2ycb"},
      {"-R 3 2\"", "'-R 3 2\"'", "\"-R 3 2\"\"", "-R 3 2\"'"},
      // Defaults: a after a twofold or fourfold, a-b after a threefold, a+b+c for a threefold.
      {"P 4 2", "P 4 2x"},
      {"P 6 2", "P 6 2'"},
      {"P 3 2", "P 3 2'", "P 3z 2'"},
      {"P 2 2 3", "P 2z 2x 3*"},
      // The shift in twelfths, the same as an operator and modulo whole cells.
      {"P 31 2c (0 0 1)", "P 31 2 (0 0 4)", "P 31 2c (x,y,z+1/12)", "P 31 2c (0 0 13)",
       "P 31 2c (0,0,1)"},
      {"P 4 2 (0 0 3)", "P 4 2 (x, y, z+1/4)", "P 4 2 (x,y,z-3/4)"},
      // Axes relabelled, and the rhombohedral cell of the hexagonal R one and back.
      {"-P 2ybc (z,x,y)", "-P 2ac"},
      {"R 3 (y,z,x)", "S 3y"},
      {"R 3 (z,x,y)", "T 3x"},
      {"R 3 (x+z,-x+y+z,-y+z)", "P 3*"},
      {"-R 3 2\" (x+z,-x+y+z,-y+z)", "-P 3* 2"},
      {"P 3* (2/3x-1/3y-1/3z, 1/3x+1/3y-2/3z, 1/3x+1/3y+1/3z)", "R 3"},
  };
  for (const auto& spellings : kSame) {
    const Group first = GroupOf(spellings[0]);
    EXPECT_FALSE(first.empty()) << spellings[0];
    for (const char* other : spellings)
      EXPECT_EQ(GroupOf(other), first) << other << " vs " << spellings[0];
  }
  EXPECT_NE(GroupOf("P 3 2"), GroupOf("P 3 2\""));  // P 3 1 2 and P 3 2 1
}

TEST(HallSymbol, RefusesWhatIsNoHallSymbol) {
  const char* const kNotHall[] = {
      // Letters and orders that do not exist, axes that do not fit the order.
      "", "   ", "''", "P", "-", "Q 2", "P 7", "P 5", "P 2 7", "- P 2", "--P 2", "PP 2", "P 2k",
      "P 2xy", "P 3' 2", "P 4*", "P 1x", "P 22", "P 41*", "P 21' 2", "P -21",
      // No default axis, an infinite group, more matrices than a group needs.
      "P 1 2", "P 2 2 2", "P 3 4x", "P 2x 2y 2z 2x 2y", "P 2x 2y 2z 2x 2y 2z",
      // Changes of basis that are malformed, singular, or not a cell of the group.
      "P 2 (0 0 1", "P 2 (0 0)", "P 2 (0 0 1) x", "P 2 (1/2 0 0)", "P 2 (x,y)", "P 2 (x,y,z,x)",
      "P 2 (x,x,z)", "P 2 (xy,y,z)", "P 1 (x,y,2z)", "P 2 (x,y,z+1/7)", "P 2 (99999 0 0)",
      "P 4 (x,1/2y,z)", "F 4 2 3 (1/2x,y,z)"};
  for (const char* text : kNotHall) EXPECT_FALSE(OperatorsOfHallSymbol(text)) << text;
  EXPECT_FALSE(OperatorsOfHallSymbol(std::string(100000, '2')));
  std::string longSymbol = "P";
  for (int i = 0; i < 1000; ++i) longSymbol += " 2x";
  EXPECT_FALSE(OperatorsOfHallSymbol(longSymbol));
}

TEST(HallSymbol, HostileTextGivesNothingOrAGroup) {
  // Random text, mostly of Hall characters so that it gets deep into the parser, and valid
  // symbols with one character changed; any result must be a group.
  const std::string alphabet = "PpRFISTABC-- 1234623-xyz'\"*abcnuvwd()/,+_";
  const std::string bases[] = {"-F 4vw 2vw 3", "P 31 2c (0 0 1)", "-I 4bd 2c 3 (x+z,y,z-1/8)"};
  std::mt19937 random(20240601);
  size_t groups = 0;
  for (int i = 0; i < 5000; ++i) {
    std::string text;
    if (i < 4000) {
      text.resize(random() % 24);
      for (char& c : text)
        c = i % 4 == 0 ? static_cast<char>(random() % 256) : alphabet[random() % alphabet.size()];
    } else {
      text = bases[i % 3];
      text[random() % text.size()] = alphabet[random() % alphabet.size()];
    }
    if (!OperatorsOfHallSymbol(text)) continue;
    ++groups;
    EXPECT_TRUE(IsClosed(GroupOf(text))) << text;
  }
  EXPECT_GT(groups, 50u);  // many changed symbols stay valid
}

}  // namespace
