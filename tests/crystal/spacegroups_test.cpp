#include "crystal/spacegroups.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <array>
#include <cmath>
#include <set>
#include <string>

#include "crystal/crystal.h"
#include "support/recorders.h"

namespace {

using VHTypes::CVector;

const CSpaceGroupRow& RowOf(std::string_view symbol) {
  int origin = 0;
  const auto index = LookUpSpaceGroup(symbol, origin);
  EXPECT_TRUE(index) << symbol;
  return SpaceGroupRows()[index.value_or(0)];
}

// Order of the point group of space group `number` (International Tables, Vol. A).
int PointGroupOrder(int number) {
  struct Range { int last, order; };
  static constexpr Range kRanges[] = {
      {1, 1},    {2, 2},    {5, 2},    {9, 2},    {15, 4},   {24, 4},   {46, 4},   {74, 8},
      {80, 4},   {82, 4},   {88, 8},   {98, 8},   {110, 8},  {122, 8},  {142, 16}, {146, 3},
      {148, 6},  {155, 6},  {161, 6},  {167, 12}, {173, 6},  {174, 6},  {176, 12}, {182, 12},
      {186, 12}, {190, 12}, {194, 24}, {199, 12}, {206, 24}, {214, 24}, {220, 24}, {230, 48}};
  for (const Range& range : kRanges)
    if (number <= range.last) return range.order;
  return 0;
}

CTSSymOp Compose(const CTSSymOp& a, const CTSSymOp& b) {
  // (a o b)(p) = Ra (Rb p + tb) + ta
  std::array<double, 9> r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) r[i * 3 + j] += a.Rotation()[i * 3 + k] * b.Rotation()[k * 3 + j];
  return CTSSymOp(r, a.Apply(b.Translation()));
}

std::vector<CTSSymOp> FullOperators(const CSpaceGroupRow& row) {
  std::vector<CTSSymOp> ops;
  const char letter = row.shortSymbol[0];
  const bool rhombohedralAxes = row.settingCode == 111;
  for (const CVector& c : CentringTranslations(rhombohedralAxes ? 'P' : letter)) {
    for (int i = 0; i < row.operatorCount; ++i) {
      CTSSymOp op = CTSSymOp::FromCode(row.codes[i]);
      op.SetTranslation(op.Translation() + c);
      ops.push_back(op);
    }
  }
  return ops;
}

bool SameOperatorModuloLattice(const CTSSymOp& a, const CTSSymOp& b) {
  if (!a.SameRotation(b)) return false;
  for (int i = 0; i < 3; ++i) {
    const double d = a.Translation()[i] - b.Translation()[i];
    if (std::abs(d - std::round(d)) > 1e-9) return false;
  }
  return true;
}

TEST(SpaceGroupTable, HoldsEveryNumberInAscendingOrder) {
  std::set<int> numbers;
  int previous = 0;
  for (const CSpaceGroupRow& row : SpaceGroupRows()) {
    EXPECT_GE(row.number, previous);
    previous = row.number;
    numbers.insert(row.number);
  }
  EXPECT_EQ(numbers.size(), 230u);
  EXPECT_EQ(*numbers.begin(), 1);
  EXPECT_EQ(*numbers.rbegin(), 230);
  EXPECT_EQ(SpaceGroupRows().data()[SpaceGroupRows().size()].number, 231);  // the end row
  EXPECT_EQ(OriginChoiceRows().size(), 30u);
  EXPECT_EQ(SpaceGroupAliases().size(), 21u);
}

TEST(SpaceGroupTable, TellingRowsAreAsPublished) {
  const auto rows = SpaceGroupRows();
  EXPECT_STREQ(rows[0].schoenflies, "C1(1)");
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(rows[i].shortSymbol[0], "ABCIF"[i - 1]);
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](auto& r) { return r.number == 14; }), 9);
  const auto hexagonal = FindSpaceGroupRow("R 3", 0, 112);
  const auto rhombohedral = FindSpaceGroupRow("R 3", 0, 111);
  ASSERT_TRUE(hexagonal && rhombohedral);
  EXPECT_EQ(std::set<uint32_t>(rows[*hexagonal].codes.begin(), rows[*hexagonal].codes.begin() + 3),
            (std::set<uint32_t>{0x000204, 0x030604, 0x070104}));
  EXPECT_EQ(std::set<uint32_t>(rows[*rhombohedral].codes.begin(), rows[*rhombohedral].codes.begin() + 3),
            (std::set<uint32_t>{0x000204, 0x040002, 0x020400}));
  EXPECT_STREQ(rows[*FindSpaceGroupRow("F d -3 m", 1)].originDescription, "-4 3 m");
  EXPECT_STREQ(rows[*FindSpaceGroupRow("F d -3 m", 2)].originDescription, "centre (-3m)");
}

// Each row with its centring translations must be a group modulo lattice translations, with
// as many distinct rotations as its point group has elements.
TEST(SpaceGroupTable, EveryRowIsAGroupOfTheRightOrder) {
  for (const CSpaceGroupRow& row : SpaceGroupRows()) {
    SCOPED_TRACE(row.fullSymbol);
    EXPECT_EQ(row.operatorCount, PointGroupOrder(row.number));
    std::vector<CTSSymOp> primitive;
    for (int i = 0; i < row.operatorCount; ++i) primitive.push_back(CTSSymOp::FromCode(row.codes[i]));
    for (size_t i = 0; i < primitive.size(); ++i)
      for (size_t j = 0; j < i; ++j) EXPECT_FALSE(primitive[i].SameRotation(primitive[j]));
    const std::vector<CTSSymOp> ops = FullOperators(row);
    for (const CTSSymOp& a : ops) {
      for (const CTSSymOp& b : ops) {
        const CTSSymOp product = Compose(a, b);
        EXPECT_TRUE(std::any_of(ops.begin(), ops.end(), [&](const CTSSymOp& op) {
          return SameOperatorModuloLattice(op, product);
        })) << a.DisplayText(true) << " * " << b.DisplayText(true);
      }
    }
  }
}

TEST(SpaceGroupTable, EverySymbolResolvesBackToItsRow) {
  const auto rows = SpaceGroupRows();
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].fullSymbol);
    const auto found = FindSpaceGroupRow(rows[i].fullSymbol, rows[i].originChoice, rows[i].settingCode);
    ASSERT_TRUE(found);
    EXPECT_EQ(rows[*found].number, rows[i].number);
    EXPECT_STREQ(rows[*found].fullSymbol, rows[i].fullSymbol);
    int origin = 0;
    ASSERT_TRUE(LookUpSpaceGroup(rows[i].shortSymbol, origin));
    EXPECT_EQ(rows[*LookUpSpaceGroup(rows[i].shortSymbol, origin)].number, rows[i].number);
  }
}

TEST(SpaceGroupTable, OperatorListsIdentifyTheirGroup) {
  for (const CSpaceGroupRow& row : SpaceGroupRows()) {
    SCOPED_TRACE(row.fullSymbol);
    CTSCrystal crystal;
    if (row.settingCode == 111) crystal.alpha = crystal.beta = crystal.gamma = 80.0;
    crystal.spaceGroupSymbol = "";
    crystal.symmetryOperators = FullOperators(row);
    ASSERT_TRUE(IdentifySpaceGroup(crystal));
    const CSpaceGroupRow& identified = RowOf(crystal.spaceGroupSymbol);
    EXPECT_EQ(identified.number, row.number);
    EXPECT_EQ(crystal.latticeLetter, row.shortSymbol[0]);
    EXPECT_EQ(crystal.originChoice, row.originChoice);
    EXPECT_EQ(crystal.symmetryOperators.size(), static_cast<size_t>(row.operatorCount));
  }
}

TEST(SpaceGroupLookup, TypedFormsOfOneSymbol) {
  for (const char* typed : {"P21/c", "p 21/c", "P 1 21/c 1", "14", "C2h(5)", "P 21/C", "P2_1/c"}) {
    EXPECT_STREQ(RowOf(typed).shortSymbol, "P 21/c") << typed;
    EXPECT_EQ(RowOf(typed).settingCode, 21) << typed;
  }
  EXPECT_EQ(RowOf("F m 3 m").number, 225);
  EXPECT_EQ(RowOf("P 3 m").number, 156);
  EXPECT_EQ(RowOf("Pnma").number, 62);
  EXPECT_EQ(RowOf("Oh(5)").number, 225);
  int origin = 0;
  EXPECT_FALSE(LookUpSpaceGroup("Q 1", origin));
  EXPECT_FALSE(LookUpSpaceGroup("P 7", origin));
  EXPECT_FALSE(LookUpSpaceGroup("", origin));
}

TEST(SpaceGroupLookup, OriginChoiceKeptOnlyForGroupsWithTwoOrigins) {
  int origin = 0;
  ASSERT_TRUE(LookUpSpaceGroup("F d -3 m [origin 2]", origin));
  EXPECT_EQ(origin, 2);
  ASSERT_TRUE(LookUpSpaceGroup("P m -3 m [origin 2]", origin));
  EXPECT_EQ(origin, 0);
  ASSERT_TRUE(LookUpSpaceGroup("P 4/n b m :2", origin));
  EXPECT_EQ(origin, 2);
  EXPECT_EQ(SpaceGroupRows()[*FindSpaceGroupRow("F d -3 m [origin 2]")].originChoice, 2);
}

TEST(SpaceGroupLookup, NormalisesToTheTableSpelling) {
  const double right[3] = {90, 90, 90};
  CrystalSystem system{};
  std::string symbol = "14";
  ASSERT_TRUE(NormaliseSpaceGroupSymbol(symbol, 0, right, system));
  EXPECT_EQ(symbol, "P 21/c");
  EXPECT_EQ(system, CrystalSystem::kMonoclinic);
  symbol = "P21/c";
  ASSERT_TRUE(NormaliseSpaceGroupSymbol(symbol, 0, right, system));
  EXPECT_EQ(symbol, "P 1 21/c 1");
  symbol = "F m -3 m";
  ASSERT_TRUE(NormaliseSpaceGroupSymbol(symbol, 0, right, system));
  EXPECT_EQ(symbol, "F m -3 m");
  EXPECT_STREQ(CrystalSystemName(system), "Cubic");
  const double rhombohedral[3] = {80.2, 79.9, 80.0};
  symbol = "R -3 m";
  ASSERT_TRUE(NormaliseSpaceGroupSymbol(symbol, 0, rhombohedral, system));
  EXPECT_EQ(system, CrystalSystem::kRhombohedral);
  symbol = "nonsense";
  EXPECT_FALSE(NormaliseSpaceGroupSymbol(symbol, 0, right, system));
  EXPECT_EQ(symbol, "nonsense");
}

TEST(SpaceGroupLookup, OriginShifts) {
  EXPECT_EQ(OriginShift("P n n n"), (CVector{0.25, 0.25, 0.25}));
  EXPECT_EQ(OriginShift("F d d d"), (CVector{-0.125, -0.125, -0.125}));
  EXPECT_EQ(OriginShift("P 4/n"), (CVector{-0.25, 0.25, 0}));
  EXPECT_EQ(OriginShift("I 41/a"), (CVector{0, -0.25, -0.125}));
  EXPECT_EQ(OriginShift("F d 3 c"), (CVector{-0.375, -0.375, -0.375}));
  EXPECT_FALSE(OriginShift("P m -3 m"));
}

TEST(SpaceGroupOperators, RhombohedralGroupsFollowTheCellAxes) {
  CTSCrystal crystal;
  crystal.spaceGroupSymbol = "R 3";
  crystal.alpha = crystal.beta = crystal.gamma = 80.0;
  BuildOperators(crystal);
  EXPECT_EQ(SpaceGroupRows()[*SpaceGroupRowOf(crystal)].settingCode, 111);
  crystal.alpha = crystal.beta = 90.0;
  crystal.gamma = 120.0;
  BuildOperators(crystal);
  EXPECT_EQ(SpaceGroupRows()[*SpaceGroupRowOf(crystal)].settingCode, 112);
  EXPECT_EQ(crystal.latticeLetter, 'R');
  EXPECT_EQ(crystal.symmetryOperators.size(), 3u);
}

TEST(SpaceGroupOperators, UnknownSymbolFallsBackToP1) {
  CTSCrystal crystal;
  crystal.spaceGroupSymbol = "X 42";
  BuildOperators(crystal);
  EXPECT_EQ(crystal.spaceGroupSymbol, "P 1");
  EXPECT_EQ(crystal.latticeLetter, 'P');
  ASSERT_EQ(crystal.symmetryOperators.size(), 1u);
  EXPECT_EQ(crystal.symmetryOperators[0].Code(), CTSSymOp::kIdentityCode);
}

TEST(SpaceGroupOperators, IdentificationRefusesMoreThan192Operators) {
  CTSCrystal crystal;
  crystal.spaceGroupSymbol = "P 1";
  crystal.latticeLetter = 'C';
  for (int i = 0; i < 97; ++i) {
    crystal.symmetryOperators.push_back(*CTSSymOp::Parse("x,y,z"));
    crystal.symmetryOperators.push_back(*CTSSymOp::Parse("x+1/2,y+1/2,z"));
  }
  testing::internal::CaptureStderr();
  EXPECT_FALSE(IdentifySpaceGroup(crystal));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error - more than 192 unique symmetry positions encountered! (ltyp = C)\n");
  EXPECT_EQ(crystal.spaceGroupSymbol, "P 1");
  // The C-centred repeats go, the plain duplicates of the identity stay.
  EXPECT_EQ(crystal.symmetryOperators.size(), 97u);
}

TEST(SpaceGroupOperators, UnmatchedListKeepsSymbolAndLosesCentringRepeats) {
  CTSCrystal crystal;
  crystal.spaceGroupSymbol = "I 2";
  crystal.latticeLetter = 'I';
  for (const char* text : {"x,y,z", "x+1/2,y+1/2,z+1/2", "-x+1/8,y,-z", "-x+5/8,y+1/2,-z+1/2"})
    crystal.symmetryOperators.push_back(*CTSSymOp::Parse(text));
  EXPECT_FALSE(IdentifySpaceGroup(crystal));
  EXPECT_EQ(crystal.spaceGroupSymbol, "I 2");
  ASSERT_EQ(crystal.symmetryOperators.size(), 2u);
  EXPECT_EQ(crystal.symmetryOperators[1].Translation().x, 0.125);
}

TEST(SpaceGroupOperators, CentredOperatorListIdentifiesCentredGroup) {
  CTSCrystal crystal;
  for (const char* text : {"x,y,z", "-x,y,-z", "x+1/2,y+1/2,z", "-x+1/2,y+1/2,-z"})
    crystal.symmetryOperators.push_back(*CTSSymOp::Parse(text));
  ASSERT_TRUE(IdentifySpaceGroup(crystal));
  EXPECT_EQ(crystal.spaceGroupSymbol, "C 2");
  EXPECT_EQ(crystal.latticeLetter, 'C');
}

TEST(Positions, CoordinatesAreNormalisedIntoTheCell) {
  EXPECT_EQ(NormaliseCoordinate(1.0), 0.0);
  EXPECT_EQ(NormaliseCoordinate(-0.25), 0.75);
  EXPECT_EQ(NormaliseCoordinate(0.999995), 0.0);
  EXPECT_EQ(NormaliseCoordinate(0.000005), 0.0);
  EXPECT_DOUBLE_EQ(NormaliseCoordinate(2.3), 0.3);
  EXPECT_DOUBLE_EQ(NormaliseCoordinate(-1.75), 0.25);
}

CTSSite SiteAt(double x, double y, double z) {
  CTSSite site;
  site.x = x, site.y = y, site.z = z;
  return site;
}

TEST(Positions, GeneralAndSpecialPositionsOfP21c) {
  CTSCrystal crystal;
  crystal.spaceGroupSymbol = "P 21/c";
  crystal.sites = {SiteAt(0.1, 0.2, 0.3), SiteAt(0, 0, 0), SiteAt(1.0, -0.25, 0.999995)};
  crystal.GeneratePositions();
  EXPECT_EQ(crystal.sites[0].Multiplicity(), 4u);
  EXPECT_EQ(crystal.sites[0].positions.front(), (CVector{0.1, 0.2, 0.3}));
  EXPECT_EQ(crystal.sites[1].Multiplicity(), 2u);
  EXPECT_EQ(crystal.sites[2].positions.front(), (CVector{0.0, 0.75, 0.0}));
}

// A cell large enough to be expanded by a team of threads gives every site the same positions,
// rotations and tensor whatever the team, and says what it changed in the order of the sites.
TEST(Positions, LargeCellsExpandTheSameOnAnyTeam) {
  auto expanded = [](int threads, std::vector<std::string>& log) {
    CTSCrystal crystal;
    crystal.spaceGroupSymbol = "P 4/m m m";
    for (int i = 0; i < 6000; ++i) {
      // Every 97th site sits on the 4/mmm position at the origin with a tensor that lacks its
      // symmetry; the others are general positions, a few on mirrors.
      const bool special = i % 97 == 0;
      CTSSite site =
          special ? SiteAt(0, 0, 0)
                  : SiteAt(0.1 + 0.0005 * (i % 500), 0.37, i % 5 == 0 ? 0.5 : 0.1 + 0.0001 * i);
      site.label = "S" + std::to_string(i);
      if (special)
        site.displacement = std::make_unique<CTSAnisoThermalEllipsoid>(
            CTSAnisoThermalEllipsoid::Uij{0.01, 0.02, 0.03, 0, 0, 0}, 0.125, 0.125, 0.125);
      crystal.sites.push_back(std::move(site));
    }
    const int previous = omp_get_max_threads();
    omp_set_num_threads(threads);
    CRecordingStatusLog recorder;
    crystal.GeneratePositions();
    omp_set_num_threads(previous);
    log = recorder.lines;
    return crystal;
  };
  std::vector<std::string> alone, shared;
  const CTSCrystal one = expanded(1, alone);
  const CTSCrystal three = expanded(3, shared);
  ASSERT_EQ(alone.size(), 62u);
  EXPECT_NE(alone[1].find("site 'S97'"), std::string::npos);
  EXPECT_EQ(shared, alone);
  for (size_t i = 0; i < one.sites.size(); ++i) {
    ASSERT_EQ(three.sites[i].positions, one.sites[i].positions) << i;
    ASSERT_EQ(three.sites[i].rotations, one.sites[i].rotations) << i;
    ASSERT_EQ(three.sites[i].displacement == nullptr, one.sites[i].displacement == nullptr);
    if (one.sites[i].displacement) {
      const auto& a = static_cast<const CTSAnisoThermalEllipsoid&>(*one.sites[i].displacement);
      const auto& b = static_cast<const CTSAnisoThermalEllipsoid&>(*three.sites[i].displacement);
      ASSERT_EQ(a.Beta(), b.Beta()) << i;
    }
  }
  EXPECT_EQ(one.sites[97].Multiplicity(), 1u);
  EXPECT_EQ(one.sites[1].Multiplicity(), 16u);
}

TEST(Positions, CentringAddsTranslationsExceptOnRhombohedralAxes) {
  CTSCrystal fcc;
  fcc.spaceGroupSymbol = "F m -3 m";
  fcc.sites = {SiteAt(0, 0, 0), SiteAt(0.25, 0.25, 0.25), SiteAt(0.11, 0.2, 0.37)};
  fcc.GeneratePositions();
  EXPECT_EQ(fcc.sites[0].Multiplicity(), 4u);
  EXPECT_EQ(fcc.sites[1].Multiplicity(), 8u);
  EXPECT_EQ(fcc.sites[2].Multiplicity(), 192u);

  CTSCrystal hexagonal;
  hexagonal.spaceGroupSymbol = "R -3 m";
  hexagonal.gamma = 120.0;
  hexagonal.sites = {SiteAt(0, 0, 0)};
  hexagonal.GeneratePositions();
  EXPECT_EQ(hexagonal.sites[0].Multiplicity(), 3u);

  CTSCrystal rhombohedral = hexagonal;
  rhombohedral.alpha = rhombohedral.beta = rhombohedral.gamma = 60.0;
  rhombohedral.symmetryOperators.clear();
  rhombohedral.GeneratePositions();
  EXPECT_EQ(rhombohedral.sites[0].Multiplicity(), 1u);
}

TEST(Positions, OriginOffsetActsAroundEachOperation) {
  CTSCrystal crystal;
  crystal.spaceGroupSymbol = "P -1";
  crystal.originOffset = {0.25, 0.25, 0.25};
  crystal.sites = {SiteAt(0.25, 0.25, 0.25)};  // an inversion centre once shifted
  crystal.GeneratePositions();
  EXPECT_EQ(crystal.sites[0].Multiplicity(), 1u);
  crystal.originOffset = {};
  crystal.GeneratePositions();
  EXPECT_EQ(crystal.sites[0].Multiplicity(), 2u);
}

// A hexagonal or rhombohedral cell (angles in degrees) with one site and the group's operators.
CTSCrystal OneSite(const char* group, double a, double c, double gamma, CVector site,
                   bool legacy = false) {
  const CLegacyRulesScope rules(legacy);
  CTSCrystal crystal;
  crystal.spaceGroupSymbol = group;
  crystal.a = crystal.b = a;
  crystal.c = c;
  crystal.gamma = gamma;
  crystal.sites = {SiteAt(site.x, site.y, site.z)};
  crystal.GeneratePositions();
  return crystal;
}

TEST(Positions, ImagesOfOneAtomMergeAcrossTheCellEdge) {
  // Quartz's silicon on its two-fold axis (x, 0, 2/3) written to four decimals: the images at
  // z = 0.99997 and 0.00003 are one atom.
  const CVector silicon{0.4697, 0.0, 0.6667};
  const CTSCrystal quartz = OneSite("P 32 2 1", 4.9134, 5.4052, 120.0, silicon);
  EXPECT_EQ(quartz.sites[0].Multiplicity(), 3u);
  EXPECT_EQ(quartz.sites[0].positions.front(), silicon);  // the site's own position represents it
  EXPECT_EQ(OneSite("P 32 2 1", 4.9134, 5.4052, 120.0, silicon, true).sites[0].Multiplicity(), 4u);

  // A site 0.0003 off an inversion centre at the cell edge: 0.003 Angstrom.
  const CVector nearCentre{0.99985, 0.5, 0.5};
  EXPECT_EQ(OneSite("P -1", 5.0, 5.0, 90.0, nearCentre).sites[0].Multiplicity(), 1u);
  EXPECT_EQ(OneSite("P -1", 5.0, 5.0, 90.0, nearCentre, true).sites[0].Multiplicity(), 2u);
}

TEST(Positions, ImagesCloserThanAHundredthOfAnAtomAreOne) {
  // Off an inversion centre by x: the two images lie 2 x a apart; 0.05 Angstrom decides, in a
  // small cell and in a large one alike.
  for (const double a : {5.0, 50.0}) {
    SCOPED_TRACE(a);
    EXPECT_EQ(OneSite("P -1", a, a, 90.0, {0.02 / (2 * a), 0.5, 0.5}).sites[0].Multiplicity(), 1u);
    EXPECT_EQ(OneSite("P -1", a, a, 90.0, {0.06 / (2 * a), 0.5, 0.5}).sites[0].Multiplicity(), 2u);
  }
  // The same fractional gap along [1 1 0] measures 0.069 Angstrom where the axes meet at 60
  // degrees and 0.04 Angstrom where they meet at 120: the metric decides, not the coordinates.
  const double gap = 0.04 / 5.0;
  EXPECT_EQ(OneSite("P -1", 5.0, 5.0, 60.0, {gap / 2, gap / 2, 0.5}).sites[0].Multiplicity(), 2u);
  EXPECT_EQ(OneSite("P -1", 5.0, 5.0, 120.0, {gap / 2, gap / 2, 0.5}).sites[0].Multiplicity(), 1u);
}

TEST(Positions, EachImageRecordsTheRotationThatMadeIt) {
  const CTSCrystal quartz = OneSite("P 32 2 1", 4.9134, 5.4052, 120.0, {0.4133, 0.2672, 0.7855});
  const CTSSite& site = quartz.sites[0];
  ASSERT_EQ(site.rotations.size(), site.positions.size());
  EXPECT_EQ(site.rotations.front(), VHTypes::kIdentityRotation);
  for (size_t i = 0; i < site.positions.size(); ++i) {
    // R p + t with integer R lands on the recorded image for some table translation t, so the
    // image minus R p has components that are multiples of 1/3.
    const auto& r = site.rotations[i];
    const CVector p{site.x, site.y, site.z};
    for (int row = 0; row < 3; ++row) {
      const double rotated = r[3 * row] * p.x + r[3 * row + 1] * p.y + r[3 * row + 2] * p.z;
      const double t = 3.0 * (site.positions[i][row] - rotated);
      EXPECT_NEAR(t, std::round(t), 1e-9) << i;
    }
  }
}

// A cell with the given symbol and parameters.
CTSCrystal Cell(const char* group, std::array<double, 6> parameters) {
  CTSCrystal crystal;
  crystal.spaceGroupSymbol = group;
  crystal.a = parameters[0], crystal.b = parameters[1], crystal.c = parameters[2];
  crystal.alpha = parameters[3], crystal.beta = parameters[4], crystal.gamma = parameters[5];
  crystal.UpdateCell();
  return crystal;
}

std::array<double, 6> Parameters(const CTSCrystal& c) {
  return {c.a, c.b, c.c, c.alpha, c.beta, c.gamma};
}

TEST(CellMetric, NearlyExactCellsAreMadeExactForTheirSystem) {
  struct Case {
    const char* group;
    std::array<double, 6> given, exact;
  };
  const Case cases[] = {
      {"F m -3 m",
       {5.6401, 5.6403, 5.6402, 90.01, 89.99, 90.0},
       {5.6402, 5.6402, 5.6402, 90, 90, 90}},
      {"P 42/m n m", {4.5937, 4.5939, 2.9587, 90, 90.02, 90}, {4.5938, 4.5938, 2.9587, 90, 90, 90}},
      {"P 32 2 1", {4.9133, 4.9135, 5.4052, 90, 90, 119.98}, {4.9134, 4.9134, 5.4052, 90, 90, 120}},
      {"R -3 m",
       {5.0, 5.001, 4.999, 51.683, 51.683, 51.686},
       {5.0, 5.0, 5.0, 51.684, 51.684, 51.684}},
      {"P 21/c", {5.1, 6.2, 7.3, 90.01, 101.3, 89.99}, {5.1, 6.2, 7.3, 90, 101.3, 90}},
      {"P 1 1 21/b", {5.1, 6.2, 7.3, 90.01, 89.99, 101.3}, {5.1, 6.2, 7.3, 90, 90, 101.3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group);
    CTSCrystal crystal = Cell(c.group, c.given);
    CRecordingStatusLog log;
    EXPECT_TRUE(MakeCellMetricExact(crystal));
    EXPECT_TRUE(log.Contains("is made exact for the symmetry of"));
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(Parameters(crystal)[i], c.exact[i], 1e-9) << i;
    EXPECT_FALSE(MakeCellMetricExact(crystal));  // once exact, left alone
  }
}

TEST(CellMetric, CellsFurtherOffAreLeftAlone) {
  for (const auto& [group, parameters] :
       {std::pair{"F m -3 m", std::array<double, 6>{5.64, 5.65, 5.64, 90, 90, 90}},
        {"P 21/c", {5.1, 6.2, 7.3, 90.1, 101.3, 90}},
        {"P -1", {5.1, 6.2, 7.3, 90.01, 101.3, 89.99}}}) {
    SCOPED_TRACE(group);
    CTSCrystal crystal = Cell(group, parameters);
    EXPECT_FALSE(MakeCellMetricExact(crystal));
    EXPECT_EQ(Parameters(crystal), parameters);
  }
}

}  // namespace
