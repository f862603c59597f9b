#include "crystal/symop.h"

#include <gtest/gtest.h>

#include "resources/spacegroup_table.h"

namespace {

CTSSymOp Op(const char* text) {
  const auto op = CTSSymOp::Parse(text);
  EXPECT_TRUE(op.has_value()) << text;
  return op.value_or(CTSSymOp());
}

TEST(SymmetryOperator, IdentityHasItsCodeAndTexts) {
  const CTSSymOp identity;
  EXPECT_EQ(identity.Code(), CTSSymOp::kIdentityCode);
  EXPECT_EQ(identity.FixedText(), "   +x       +y       +z  ");
  EXPECT_EQ(identity.DisplayText(true), "+x,+y,+z");
  EXPECT_EQ(CodeToFixedText(0x000204), "   +x       +y       +z  ");
}

TEST(SymmetryOperator, EveryTableCodeSurvivesTextAndBack) {
  for (const CSpaceGroupRow& row : SpaceGroupRows()) {
    for (int i = 0; i < row.operatorCount; ++i) {
      const uint32_t code = row.codes[i];
      const std::string text = CodeToFixedText(code);
      ASSERT_EQ(text.size(), 25u) << text;
      const auto parsed = CTSSymOp::Parse(text);
      ASSERT_TRUE(parsed) << text;
      EXPECT_EQ(parsed->Code(), code) << text;
      EXPECT_EQ(CTSSymOp::FromCode(code).Code(), code);
      EXPECT_EQ(parsed->DisplayText(), text) << "display text differs from the fixed layout";
    }
  }
}

TEST(SymmetryOperator, ParsesTheSpellingsFilesUse) {
  const CTSSymOp a = Op("x+1/2, -y, z");
  EXPECT_EQ(a.Translation(), (VHTypes::CVector{0.5, 0, 0}));
  EXPECT_EQ(a.Rotation(), (std::array<double, 9>{1, 0, 0, 0, -1, 0, 0, 0, 1}));
  EXPECT_EQ(Op("1/2+X,Y,1/2-Z").Code(), Op("x+1/2,y,-z+1/2").Code());
  EXPECT_EQ(Op("-x+y,-x,z").Code(), 0x070104u);
  EXPECT_EQ(Op("-y+x,x,z").Rotation(), (std::array<double, 9>{1, -1, 0, 1, 0, 0, 0, 0, 1}));
  EXPECT_EQ(Op("x + 1/2, y, z").Translation().x, 0.5);  // blanks inside a component
  EXPECT_EQ(Op("-x  y  1/2+z").Translation().z, 0.5);   // blanks as separators
  EXPECT_EQ(Op("x,y,z+0.5").Code(), Op("x,y,z+1/2").Code());
  EXPECT_EQ(Op("'-x, -y, -z'").IsInversion(), true);
  EXPECT_EQ(Op("x-1/4,y,z").Code(), Op("x+3/4,y,z").Code());
}

TEST(SymmetryOperator, RefusesTextThatIsNoOperator) {
  for (const char* text : {"", "x,y", "x,y,z,x", "a,b,c", "x,,z", "x,y,1/2", "x,y,z+1/0"})
    EXPECT_FALSE(CTSSymOp::Parse(text)) << text;
}

TEST(SymmetryOperator, DisplayTextLooksUpFractions) {
  EXPECT_EQ(Op("-x+1/2,y+1/4,-z").DisplayText(true), "1/2-x,1/4+y,-z");
  EXPECT_EQ(Op("x+1/8,y-1/8,z+3/8").DisplayText(true), "1/8+x,7/8+y,3/8+z");
  EXPECT_EQ(Op("x+0.1,y,z").DisplayText(true), "+x,+y,+z");  // no fraction: omitted
  EXPECT_EQ(Op("x-y,x,z+1/6").DisplayText(), "   +x-y     +x    1/6+z  ");
  EXPECT_FALSE(Op("x+1/8,y,z").Code().has_value());
}

TEST(SymmetryOperator, ComparesRotationPartsOnly) {
  EXPECT_TRUE(Op("-x,-y,-z").SameRotation(Op("-x+1/2,-y,-z+1/2")));
  EXPECT_FALSE(Op("-x,-y,z").SameRotation(Op("-x,-y,-z")));
  EXPECT_TRUE(Op("1/2-x,-y,1/2-z").IsInversion());
  EXPECT_EQ(Op("-y,x-y,z+1/3").Apply({0.1, 0.2, 0.3}).x, -0.2);
}

}  // namespace
