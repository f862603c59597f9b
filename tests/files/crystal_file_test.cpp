#include "files/crystal_file.h"

#include <gtest/gtest.h>

#include <limits>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include "crystal/crystal.h"
#include "crystal/spacegroups.h"
#include "diffraction/scattering_table.h"
#include "errors/exceptions.h"
#include "files/cif_file.h"
#include "files/crystal_chunks.h"
#include "files/crystal_file_builder.h"
#include "files/temp_file.h"
#include "resources/elements.h"
#include "support/data_files.h"
#include "support/recorders.h"

namespace {

using Options = CCrystalFileOptions;
using VHTypes::CVector;
constexpr auto kMac = Options::CEdition::kMac;
constexpr auto kVersion7 = Options::CSiteLayout::kVersion7;

const char* const kProjectStructures[] = {"quartz.cif", "corundum.cif", "silicon.cif", "halite.cif",
                                          "rutile.cif"};

CTSCrystal ReadCif(const std::filesystem::path& path) {
  CTSCrystal crystal;
  ReadCifCrystal(ReadWholeFile(path), crystal);
  return crystal;
}

CTSCrystal Quartz() { return ReadCif(TestDataPath("quartz.cif")); }

// Quartz with an anisotropic oxygen: small, and every chunk has something to say.
CTSCrystal SmallCrystal() {
  CTSCrystal quartz = Quartz();
  quartz.sites[1].displacement = std::make_unique<CTSAnisoThermalEllipsoid>(
      CTSAnisoThermalEllipsoid::Uij{0.016, 0.012, 0.014, 0.009, 0.004, -0.003}, quartz.aStar, quartz.bStar,
      quartz.cStar);
  return quartz;
}

void Build(const CTempFile& file, const CTSCrystal& crystal, Options options = {}) {
  CCrystalFileBuilder(std::move(options)).Write(crystal, file.Path());
}

// Reads the file through the object the type table creates for `type`.
CTSCrystal ReadAs(const std::string& path, unsigned type = CTSCrystalFile::kCrystalTypeId) {
  std::unique_ptr<CTessFile> file = CTessFile::Create(type);
  if (!file || !file->Open(path, CFile::kModeRead)) throw CVHXFileNotOpen();
  CTSCrystal crystal;
  file->ReadCrystal(crystal);
  return crystal;
}

CTSCrystal ReadPre5(const std::string& path, unsigned kind = CTSPre5CrystalFile::kPre5CrystalTypeId) {
  CTSPre5CrystalFile file(kind);
  if (!file.Open(path, CFile::kModeRead)) throw CVHXFileNotOpen();
  CTSCrystal crystal;
  file.ReadCrystal(crystal);
  return crystal;
}

// The text number of the alert that refuses the file, 0 when it reads.
unsigned Refusal(const std::string& path) {
  try {
    ReadAs(path);
    return 0;
  } catch (const CVHException& e) {
    return e.ResourceId();
  }
}

void ExpectNear(const CVector& a, const CVector& b, double tolerance = 1e-6) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

int NumberOf(const CTSCrystal& crystal) {
  const auto row = SpaceGroupRowOf(crystal);
  return row ? SpaceGroupRows()[*row].number : 0;
}

// The codes of every operator with its centring translations: the group, whatever the order.
std::set<uint32_t> GroupCodes(const CTSCrystal& crystal) {
  std::set<uint32_t> codes;
  for (const CVector& c : CentringTranslations(crystal.latticeLetter)) {
    for (CTSSymOp op : crystal.symmetryOperators) {
      op.SetTranslation(op.Translation() + c);
      codes.insert(op.Code().value_or(0xFFFFFFFF));
    }
  }
  return codes;
}

// Whether two lists of positions hold the same points modulo 1, in any order.
void ExpectSamePositions(const std::vector<CVector>& p, const std::vector<CVector>& q) {
  ASSERT_EQ(p.size(), q.size());
  for (const CVector& point : p) {
    const bool found = std::any_of(q.begin(), q.end(), [&](const CVector& other) {
      for (int k = 0; k < 3; ++k) {
        const double d = std::abs(point[k] - other[k]);
        if (std::min(d, 1.0 - d) > 2e-5) return false;
      }
      return true;
    });
    EXPECT_TRUE(found) << point.x << " " << point.y << " " << point.z;
  }
}

// Whether each site's positions, generated anew from the crystal's symmetry, are those of the
// other crystal, in any order.
void ExpectSameGeneratedPositions(const CTSCrystal& a, CTSCrystal b) {
  b.GeneratePositions();
  for (size_t i = 0; i < a.sites.size(); ++i) {
    SCOPED_TRACE(a.sites[i].label);
    ExpectSamePositions(a.sites[i].positions, b.sites[i].positions);
  }
}

// How the symmetry must agree: operator lists entry by entry; or only as the group they make
// (a file that stores the symbol alone gets the table's list); or only by the group's number
// and the positions it generates (a long symbol is stored in the table's spelling, and the
// first origin of a two-origin group reads back counted in the second).
enum class COperatorMatch { kSameList, kSameGroup, kSamePositions };

// Equal up to the single precision of the file's reals.
void ExpectSameStructure(const CTSCrystal& a, const CTSCrystal& b,
                         COperatorMatch operators = COperatorMatch::kSameList) {
  for (auto [x, y] : {std::pair{a.a, b.a}, {a.b, b.b}, {a.c, b.c}, {a.alpha, b.alpha}, {a.beta, b.beta},
                      {a.gamma, b.gamma}})
    EXPECT_NEAR(x, y, 1e-5);
  EXPECT_NEAR(a.density, b.density, 1e-5 * a.density);
  EXPECT_EQ(a.latticeLetter, b.latticeLetter);
  if (operators == COperatorMatch::kSamePositions) {
    EXPECT_EQ(NumberOf(a), NumberOf(b));
    ExpectSameGeneratedPositions(a, b);
  } else {
    EXPECT_EQ(a.spaceGroupSymbol, b.spaceGroupSymbol);
    EXPECT_EQ(a.originChoice, b.originChoice);
    ExpectNear(a.originOffset, b.originOffset);
    EXPECT_EQ(GroupCodes(a), GroupCodes(b));
  }
  if (operators == COperatorMatch::kSameList) {
    ASSERT_EQ(a.symmetryOperators.size(), b.symmetryOperators.size());
    for (size_t i = 0; i < a.symmetryOperators.size(); ++i)
      EXPECT_EQ(a.symmetryOperators[i].Code(), b.symmetryOperators[i].Code()) << i;
  }
  EXPECT_EQ(a.hasDisplacementParameters, b.hasDisplacementParameters);
  ASSERT_EQ(a.sites.size(), b.sites.size());
  for (size_t i = 0; i < a.sites.size(); ++i) {
    const CTSSite& s = a.sites[i];
    const CTSSite& t = b.sites[i];
    SCOPED_TRACE(s.label);
    EXPECT_EQ(s.label, t.label);
    ExpectNear({s.x, s.y, s.z}, {t.x, t.y, t.z});
    ASSERT_EQ(s.atoms.size(), t.atoms.size());
    for (size_t k = 0; k < s.atoms.size(); ++k) {
      EXPECT_EQ(s.atoms[k].symbol, t.atoms[k].symbol);
      EXPECT_EQ(s.atoms[k].scattering, t.atoms[k].scattering);
      EXPECT_NEAR(s.atoms[k].occupancy, t.atoms[k].occupancy, 1e-6);
    }
    if (operators == COperatorMatch::kSameList) {
      ASSERT_EQ(s.positions.size(), t.positions.size());
      for (size_t k = 0; k < s.positions.size(); ++k) ExpectNear(s.positions[k], t.positions[k]);
    } else {
      ExpectSamePositions(s.positions, t.positions);  // made by the same group in another order
    }
    ASSERT_EQ(s.displacement == nullptr, t.displacement == nullptr);
    if (!s.displacement) continue;
    EXPECT_NEAR(s.displacement->U(), t.displacement->U(), 1e-6 * std::abs(s.displacement->U()) + 1e-12);
    ASSERT_EQ(s.displacement->IsAnisotropic(), t.displacement->IsAnisotropic());
    if (!s.displacement->IsAnisotropic()) continue;
    const auto& p = static_cast<const CTSAnisoThermalEllipsoid&>(*s.displacement).Beta();
    const auto& q = static_cast<const CTSAnisoThermalEllipsoid&>(*t.displacement).Beta();
    for (size_t k = 0; k < 9; ++k) EXPECT_NEAR(p[k], q[k], 1e-6 * std::abs(p[k]) + 1e-12);
  }
}

// Every way of writing the format that the reader must read alike. The Mac edition's format
// byte means nothing: its format is the version's major.
const std::pair<const char*, Options> kVariants[] = {
    {"format 9, little-endian", {}},
    {"format 8, big-endian", {.formatVersion = 8, .version = "8.7.1"}},
    {"without trailer", {.trailer = false}},
    {"Mac 6.0", {.edition = kMac, .formatVersion = 0, .version = "6.0"}},
    {"Mac 7.0.0b10, version-7 chunks", {.edition = kMac, .formatVersion = 0, .version = "7.0.0b10", .siteLayout = kVersion7}},
    {"beta tensors", {.betaTensors = true}},
};

TEST(BinaryCrystalFile, ProjectStructuresRoundTripInEveryVariant) {
  CRecordingAlertPresenter alerts;  // halite's CIF lists the identity alone
  std::vector<std::pair<std::string, CTSCrystal>> crystals;
  for (const char* name : kProjectStructures) crystals.emplace_back(name, ReadCif(TestDataPath(name)));
  crystals.emplace_back("anisotropic quartz", SmallCrystal());
  CTempFile file(".vhdf");
  for (const auto& [name, crystal] : crystals) {
    for (const auto& [variant, options] : kVariants) {
      SCOPED_TRACE(name + ", " + variant);
      Build(file, crystal, options);
      ExpectSameStructure(crystal, ReadAs(file.Path()));
    }
  }
}

TEST(BinaryCrystalFile, ValuesThatCannotBeACrystalAreRefused) {
  CTempFile file(".vhdf");
  CTSCrystal negative = Quartz();
  negative.c = -5.4052;
  Build(file, negative);
  EXPECT_THROW(ReadAs(file.Path()), CVHXFileImpossibleCell);
  CTSCrystal flat = Quartz();
  flat.alpha = flat.beta = flat.gamma = 120.0;
  Build(file, flat);
  EXPECT_THROW(ReadAs(file.Path()), CVHXFileImpossibleCell);
  // Finite in single precision, and still no crystal: its metric and profile overflow.
  CTSCrystal huge = Quartz();
  huge.a = huge.b = 1e30;
  Build(file, huge);
  EXPECT_THROW(ReadAs(file.Path()), CVHXFileImpossibleCell);
  CTSCrystal crowded = Quartz();
  crowded.sites[0].atoms[0].occupancy = 1e30;
  Build(file, crowded);
  EXPECT_THROW(ReadAs(file.Path()), CVHXFileImpossibleOccupancy);
  // The format's reals are single precision; one that is not finite is no number at all.
  CTSCrystal undefined = Quartz();
  undefined.sites[1].z = std::numeric_limits<double>::quiet_NaN();
  Build(file, undefined);
  EXPECT_THROW(ReadAs(file.Path()), CVHXFileConversionErr);
}

// What the format carries of a crystal: each species as its element (an element code has
// two characters), with that element's scattering record; anisotropic displacement parameters
// only when they are valid.
CTSCrystal AsCarried(CTSCrystal crystal) {
  for (CTSSite& site : crystal.sites) {
    for (CTSAtom& atom : site.atoms) {
      const CElement* element = LeadingElement(atom.symbol);
      atom.symbol = element ? element->symbol : "??";
      MatchScatteringFactor(atom);
    }
    if (const auto* aniso = dynamic_cast<const CTSAnisoThermalEllipsoid*>(site.displacement.get()))
      if (!IsPositiveDefinite(aniso->ToUij(crystal.aStar, crystal.bStar, crystal.cStar))) site.displacement.reset();
  }
  return crystal;
}

TEST(BinaryCrystalFile, PublicStructuresRoundTrip) {
  SKIP_WITHOUT_SHARED_DATA();
  CRecordingAlertPresenter alerts;
  CRecordingStatusLog log;
  CTempFile file(".vhdf");
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SharedDataPath() / "cif")) {
    if (entry.path().extension() != ".cif") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const CTSCrystal original = ReadCif(entry.path());
    Build(file, original, {.siteLayout = kVersion7});  // whole labels
    ExpectSameStructure(AsCarried(original), ReadAs(file.Path()), COperatorMatch::kSamePositions);
    ++files;
  }
  EXPECT_GE(files, 36);
}

TEST(BinaryCrystalFile, HeaderReadsTheSameInBothByteOrders) {
  const CTSCrystal quartz = Quartz();
  CTempFile little(".vhdf"), big(".vhdf");
  Build(little, quartz);
  Build(big, quartz, {.formatVersion = 8});
  const std::string l = little.Contents(), b = big.Contents();
  // Up to the version string both are big-endian and differ in the format byte alone; the
  // length of "CELL" at 36 is in the file's byte order.
  EXPECT_EQ(l.substr(0, 17), b.substr(0, 17));
  EXPECT_EQ(l.substr(18, 10), b.substr(18, 10));
  EXPECT_EQ(l.substr(32, 8), std::string("CELL\x18\0\0\0", 8));
  EXPECT_EQ(b.substr(32, 8), std::string("CELL\0\0\0\x18", 8));

  CTSCrystalFile file;
  ASSERT_TRUE(file.Open(big.Path(), CFile::kModeRead));
  const CTSCrystalFile::CHeader header = file.ReadHeader();
  EXPECT_EQ(header.tag, CTSCrystalFile::kCrystalTag);
  EXPECT_EQ(header.version, "9.1.0");
  EXPECT_EQ(file.FormatVersion(), 8u);
  EXPECT_TRUE(file.IsBigEndian());
  EXPECT_TRUE(file.WrittenOnWindows());
  EXPECT_EQ(file.PackedVersion(), 0x090100FFu);
}

TEST(BinaryCrystalFile, VersionStringsArePacked) {
  EXPECT_EQ(PackVersion("8.7.1"), 0x080701FFu);
  EXPECT_EQ(PackVersion("7.0.0b10"), 0x0700008Au);
  EXPECT_EQ(PackVersion("6.0"), 0x060000FFu);
  EXPECT_EQ(PackVersion("6.1b3"), 0x06010083u);  // the bug-fix number stays 0
  EXPECT_EQ(PackVersion("5.2.1a3"), 0x05020143u);
  EXPECT_EQ(PackVersion("5.2.1d7"), 0x05020107u);
  EXPECT_EQ(PackVersion("5.2.1x0"), 0x050201FFu);
  EXPECT_EQ(PackVersion("5.2.1x3"), 0x050201C3u);
  EXPECT_EQ(PackVersion("5.2.1b70"), 0x05020186u);  // the build keeps six bits
  EXPECT_FALSE(PackVersion("7"));
  EXPECT_FALSE(PackVersion("beta"));
}

TEST(BinaryCrystalFile, Refusals) {
  const CTSCrystal quartz = Quartz();
  const std::pair<Options, unsigned> cases[] = {
      {{.creator = "VarnholtWerx"}, CVHXFileBadHeader::kResourceId},
      {{.fileTag = MakeTag("VHXF")}, CVHXFileBadHeader::kResourceId},
      {{.version = "nine"}, CVHXFileBadVersion::kResourceId},
      {{.formatVersion = 10}, CVHXFileTooNew::kResourceId},
      {{.edition = kMac, .version = "10.0"}, CVHXFileTooNew::kResourceId},
      {{.edition = kMac, .version = "7.0.0b5"}, CVHXFileObsolete7::kResourceId},
      {{.edition = kMac, .version = "5.0.0b14"}, CVHXFileObsolete5::kResourceId},
      {{.edition = kMac, .version = "5.0.0b15"}, 0},
      {{.edition = kMac, .version = "7.0.0"}, 0},  // the release after the betas
      // The maker's full name with another platform byte is a Mac file too.
      {{.edition = kMac, .version = "4.2", .creator = "VarnholtWerk"}, CVHXFileObsolete5::kResourceId},
      {{.fileTag = CTSCrystalFile::kMoleculeTag}, CVHXFileNoMoleculeDiffract::kResourceId},
      {{.fileTag = CTSCrystalFile::kMolecule5Tag}, CVHXFileNoMoleculeDiffract::kResourceId},
      {{.trailer = false, .oneByteShort = true}, CVHXFileMapError::kResourceId},
      {{.flippedTrailerBit = true}, CVHXFileCRCFailed::kResourceId},
  };
  CTempFile file(".vhdf");
  for (const auto& [options, refusal] : cases) {
    SCOPED_TRACE(options.version + " " + options.creator + " " + TagText(options.fileTag));
    Build(file, quartz, options);
    EXPECT_EQ(Refusal(file.Path()), refusal);
  }
  try {
    ReadAs(file.Path());
  } catch (const CVHXFileCRCFailed& e) {
    EXPECT_EQ(e.Message(), "File data appear to have been corrupted.");
  }
}

TEST(BinaryCrystalFile, LogLinesNameEditionVersionAndFile) {
  const CTSCrystal quartz = Quartz();
  CTempFile file(".vhdf");
  const std::string name = std::filesystem::path(file.Path()).filename().string();
  Build(file, quartz, {.fileTag = CTSCrystalFile::kCrystal5Tag});
  {
    CRecordingStatusLog log;
    // Opened under a molecule's type id, the file is read as what its tag says.
    CTSCrystalFile reader(CTSCrystalFile::kMoleculeTypeId);
    ASSERT_TRUE(reader.Open(file.Path(), CFile::kModeRead));
    CTSCrystal crystal;
    reader.ReadCrystal(crystal);
    EXPECT_EQ(reader.Kind(), CTSCrystalFile::kCrystal5TypeId);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"Warning: File is being read as a binary crystal data file.",
                                                   "Reading from Tessaline for Windows 9.1.0 file '" + name + "'."}));
  }
  Build(file, quartz, {.edition = kMac, .version = "6.0"});
  CRecordingStatusLog log;
  ReadAs(file.Path());
  EXPECT_EQ(log.lines, std::vector<std::string>{"Reading from Tessaline for Mac 6.0 file '" + name + "'."});
}

TEST(BinaryCrystalFile, SiteWithoutSpeciesIsKeptAndSurplusAtomsAreDropped) {
  CTSCrystal quartz = Quartz();
  CTempFile file(".vhdf");
  for (const auto layout : {Options::CSiteLayout::kCurrent, kVersion7}) {
    // Records beyond a site's atoms: the first ones count.
    Build(file, quartz, {.siteLayout = layout, .surplusAtomRecords = 2});
    ExpectSameStructure(quartz, ReadAs(file.Path()));

    CTSCrystal vacant = quartz;
    vacant.sites[1].atoms.clear();
    Build(file, vacant, {.siteLayout = layout});
    CRecordingStatusLog log;
    const CTSCrystal read = ReadAs(file.Path());
    EXPECT_TRUE(log.Contains("Warning: No site occupancy defined for site #1."));
    ASSERT_EQ(read.sites.size(), 2u);
    EXPECT_TRUE(read.sites[1].atoms.empty());
    EXPECT_EQ(read.sites[1].positions.size(), 6u);
  }
}

TEST(BinaryCrystalFile, CountsThatDisagreeAreRefusedAndTheCrystalStays) {
  const CTSCrystal quartz = Quartz();
  CTempFile file(".vhdf");
  Build(file, quartz, {.ellipsoidCountChange = -1});
  CTSCrystal untouched;
  untouched.spaceGroupSymbol = "I 41/a";
  CTSCrystalFile reader;
  ASSERT_TRUE(reader.Open(file.Path(), CFile::kModeRead));
  try {
    reader.ReadCrystal(untouched);
    ADD_FAILURE() << "read";
  } catch (const CVHXFileNumEllipsoidsErr& e) {
    EXPECT_EQ(e.Message(), "Incorrect number of ellipsoids in file.");
  }
  EXPECT_EQ(untouched.spaceGroupSymbol, "I 41/a");
  EXPECT_TRUE(untouched.sites.empty());

  // Sites that promise no atoms at all, and an atom chunk for them.
  CTSCrystal empty = quartz;
  for (CTSSite& site : empty.sites) site.positions.clear();
  Build(file, empty);
  EXPECT_EQ(Refusal(file.Path()), CVHXFileNumAtomsErr::kResourceId);
}

TEST(BinaryCrystalFile, InvalidDisplacementParametersAreDroppedWithOneAlert) {
  CTSCrystal quartz = SmallCrystal();
  quartz.sites[0].displacement = std::make_unique<CTSAnisoThermalEllipsoid>(
      CTSAnisoThermalEllipsoid::Uij{0.01, 0.01, 0.01, 0.02, 0.0, 0.0}, quartz.aStar, quartz.bStar, quartz.cStar);
  CTempFile file(".vhdf");
  for (const bool beta : {false, true}) {
    Build(file, quartz, {.betaTensors = beta});
    CRecordingAlertPresenter alerts;
    const CTSCrystal read = ReadAs(file.Path());
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].message, "Invalid atomic displacement parameter.");
    EXPECT_FALSE(read.sites[0].displacement);
    ASSERT_TRUE(read.sites[1].displacement);
    EXPECT_TRUE(read.sites[1].displacement->IsAnisotropic());
    EXPECT_TRUE(read.hasDisplacementParameters);
  }
}

// A cut file or a changed bit must end in an exception of ours or in a crystal; never in a
// crash, a hang or a foreign exception.
TEST(BinaryCrystalFile, TruncatedFilesAreRefused) {
  CRecordingAlertPresenter alerts;
  CTempFile source(".vhdf"), cut(".vhdf");
  Build(source, SmallCrystal());
  const std::string bytes = source.Contents();
  for (size_t length = 0; length < bytes.size(); ++length) {
    cut.Write(bytes.substr(0, length));
    // Losing part of the trailer loses the trailer: the rest still reads.
    EXPECT_EQ(Refusal(cut.Path()) == 0, length >= bytes.size() - 8) << length;
  }
}

TEST(BinaryCrystalFile, EveryChangedBitIsRefusedOrRead) {
  CRecordingAlertPresenter alerts;
  CRecordingStatusLog log;
  CTempFile source(".vhdf"), changed(".vhdf");
  auto flip = [](std::string bytes, size_t bit) {
    bytes[bit / 8] = static_cast<char>(bytes[bit / 8] ^ (1 << (bit % 8)));
    return bytes;
  };
  Build(source, SmallCrystal(), {.trailer = false});
  const std::string bare = source.Contents();
  for (size_t bit = 0; bit < bare.size() * 8; ++bit) {
    changed.Write(flip(bare, bit));
    Refusal(changed.Path());
  }
  // With the trailer, a change of any byte outside the trailer's tag (one bit of each, a
  // different one from byte to byte) is refused.
  Build(source, SmallCrystal());
  const std::string whole = source.Contents();
  const size_t tagAt = whole.size() - 8;
  for (size_t byte = 0; byte < whole.size(); ++byte) {
    if (byte >= tagAt && byte < tagAt + 4) continue;
    changed.Write(flip(whole, byte * 8 + byte % 8));
    EXPECT_NE(Refusal(changed.Path()), 0u) << byte;
  }
}

TEST(BinaryCrystalFile, SymmetryFromOperatorsAndOriginPlacement) {
  CTSCrystal quartz = Quartz();
  CTempFile file(".vhdf");
  // Without a symbol the operators name the group.
  quartz.spaceGroupSymbol.clear();
  Build(file, quartz);
  EXPECT_EQ(ReadAs(file.Path()).spaceGroupSymbol, "P 32 2 1");
  // A group with one origin keeps the shift as its offset.
  quartz = Quartz();
  quartz.originOffset = {0.125, 0, 0};
  Build(file, quartz);
  const CTSCrystal shifted = ReadAs(file.Path());
  EXPECT_EQ(shifted.originChoice, 0);
  ExpectNear(shifted.originOffset, {0.125, 0, 0});

  const CVector t{0.25, 0.25, 0.25};
  auto placed = [&](CVector shift) { return PlaceOrigin(shift, t); };
  EXPECT_EQ(placed({0, 0, 0}).originChoice, 2);
  EXPECT_EQ(placed(t).originChoice, 1);
  ExpectNear(placed(t).offset, {-0.25, -0.25, -0.25});
  EXPECT_EQ(placed({0.5, 0, 0}).originChoice, 2);  // differs from t in more places than it is set
  ExpectNear(placed({0.5, 0, 0}).offset, {0.5, 0, 0});
  EXPECT_EQ(placed({0.25, 0.25, 0.75}).originChoice, 1);
  ExpectNear(placed({0.25, 0.25, 0.75}).offset, {0, 0, 0.5});
}

TEST(BinaryCrystalFile, TypeIsFoundByContent) {
  const CTSCrystal quartz = Quartz();
  CTempFile text(".txt"), cif(".cif");
  Build(text, quartz);
  Build(cif, quartz);
  EXPECT_EQ(CTessFile::DetermineType(text.Path()), CTSCrystalFile::kCrystalTypeId);
  EXPECT_EQ(CTessFile::DetermineType(cif.Path()), 22u);
  EXPECT_EQ(CTessFile::DetermineType(cif.Path(), true), CTSCrystalFile::kCrystalTypeId);
  ExpectSameStructure(quartz, ReadAs(text.Path(), CTessFile::DetermineType(text.Path())));
  // Molecules are reported by their tag but not recognised, and no object reads them.
  Build(text, quartz, {.fileTag = CTSCrystalFile::kMolecule5Tag});
  EXPECT_EQ(CTSCrystalFile::TypeOfContent(text.Path()), CTSCrystalFile::kMolecule5TypeId);
  EXPECT_EQ(CTSCrystalFile::Recognise(text.Path()), 0u);
  EXPECT_EQ(CTessFile::Create(CTSCrystalFile::kMolecule5TypeId), nullptr);
}

// The older layout.

TEST(OlderBinaryCrystalFile, ProjectStructuresRoundTrip) {
  CRecordingAlertPresenter alerts;
  CTempFile file(".vhdf");
  for (const char* name : kProjectStructures) {
    SCOPED_TRACE(name);
    const CTSCrystal original = ReadCif(TestDataPath(name));
    CPre5CrystalFileBuilder().Write(original, file.Path());
    EXPECT_EQ(CTessFile::DetermineType(file.Path()), CTSPre5CrystalFile::kPre5CrystalTypeId);
    CRecordingStatusLog log;
    const CTSCrystal read = ReadAs(file.Path(), CTSPre5CrystalFile::kPre5CrystalTypeId);
    EXPECT_TRUE(log.Contains("Reading from Tessaline for Mac 4.0.2 file '"));
    ExpectSameStructure(original, read, COperatorMatch::kSameGroup);
  }
}

TEST(OlderBinaryCrystalFile, NotesAndPolygonsArePassedOver) {
  const CTSCrystal quartz = Quartz();
  CTempFile file(".vhdf");
  auto write = [&](int polygonSizeError) {
    CPre5CrystalFileBuilder builder;
    builder.Begin(file.Path());
    builder.WriteNote("grown from the melt");
    builder.WriteCell(quartz);
    builder.WritePolygons({2, 0, 1, 0, 0, 3}, polygonSizeError);
    builder.WriteSymmetry(quartz);
    builder.WriteSites(quartz);
    builder.WriteAtoms(quartz);
    builder.Finish();
  };
  write(0);
  ExpectSameStructure(quartz, ReadPre5(file.Path()), COperatorMatch::kSameGroup);
  write(1);
  EXPECT_THROW(ReadPre5(file.Path()), CVHXFileInvalid);
}

TEST(OlderBinaryCrystalFile, Refusals) {
  const CTSCrystal quartz = Quartz();
  CTempFile file(".vhdf");
  auto build = [&](CPre5CrystalFileOptions options) { CPre5CrystalFileBuilder(options).Write(quartz, file.Path()); };
  build({.creator = "VarnholtWerk"});
  EXPECT_EQ(CTSPre5CrystalFile::Recognise(file.Path()), 0u);
  EXPECT_THROW(ReadPre5(file.Path()), CVHXFileBadHeader);
  build({.fileTag = CTSCrystalFile::kMoleculeTag});
  EXPECT_EQ(CTSPre5CrystalFile::Recognise(file.Path()), CTSPre5CrystalFile::kPre5MoleculeTypeId);
  EXPECT_THROW(ReadPre5(file.Path()), CVHXFileNoMoleculeDiffract);
  build({});
  EXPECT_THROW(ReadPre5(file.Path(), CTSPre5CrystalFile::kPre5MoleculeTypeId), CVHXFileUnsupportedType);
  build({.version = "2.0.0b10"});
  EXPECT_THROW(ReadPre5(file.Path()), CVHXFileObsolete2);
  build({.version = "2.0.0b11"});
  EXPECT_NO_THROW(ReadPre5(file.Path()));
  build({.version = "two"});
  EXPECT_THROW(ReadPre5(file.Path()), CVHXFileBadVersion);

  // Sites and atom lists that disagree.
  CTSCrystal more = quartz;
  more.sites[0].positions.push_back({0.5, 0.5, 0.5});
  CPre5CrystalFileBuilder builder;
  builder.Begin(file.Path());
  builder.WriteCell(quartz);
  builder.WriteSites(quartz);
  builder.WriteAtoms(more);
  builder.Finish();
  EXPECT_THROW(ReadPre5(file.Path()), CVHXFileNumAtomsErr);

  // Cut anywhere, the file is refused, unless the cut falls between two chunks.
  CPre5CrystalFileBuilder().Write(quartz, file.Path());
  const std::string bytes = file.Contents();
  CTempFile cut(".vhdf");
  int read = 0;
  for (size_t length = 0; length < bytes.size(); ++length) {
    cut.Write(bytes.substr(0, length));
    try {
      ReadPre5(cut.Path());
      ++read;
      EXPECT_GE(length, CTSPre5CrystalFile::kFirstPre5ChunkOffset);
    } catch (const CVHException&) {
    }
  }
  EXPECT_EQ(read, 4);  // before "CELL", "SYMM", "AUCR" and "ATOM"
}

}  // namespace
