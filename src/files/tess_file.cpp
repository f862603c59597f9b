#include "files/tess_file.h"

#include <algorithm>
#include <filesystem>

#include "errors/exceptions.h"

namespace {

constexpr CTessFileType kTypes[] = {
    {1, {"vhdf", "crystal"}, "VarnholtWerk Crystal File (*.vhdf;*.crystal)", "New Crystal", "Tess.Crystal"},
    {2, {"vhmf", "molecule"}, "VarnholtWerk Molecule File (*.vhmf;*.molecule)", "New Molecule", "Tess.Molecule"},
    {3, {"vhtx"}, "VarnholtWerk Text Data File (*.vhtx)", "New Crystal", "Tess.VHTX"},
    {4, {"vhd5"}, "VarnholtWerk 5/6 Crystal File (*.vhd5)", "New Crystal", "Tess.Crystal-5/6"},
    {5, {"vhm5"}, "VarnholtWerk 5/6 Molecule File (*.vhm5)", "New Molecule", "Tess.Molecule-5/6"},
    {6, {"vhdf"}, "", "New Crystal", "Tess.Crystal-Pre5"},
    {7, {"vhmf"}, "", "New Molecule", "Tess.Molecule-Pre5"},
    {8, {"vhef"}, "Element Table File (*.vhef)", "Elements Table", "Tess.Elements"},
    {9, {"cache"}, "VarnholtWerk cache file (*.cache)", "Cache File", "Tess.Cache"},
    {10, {"diffract", "tessaline"}, "Session File (*.diffract;*.tessaline)", "Untitled", "Tess.Session"},
    {11, {"tsdf"}, "Legacy Session File (*.tsdf)", "Untitled", "Tess.Session-1"},
    {12, {"dat", "txt", "text", "xy", "xye"}, "Observed Data File (*.dat;*.txt;*.text)", "Untitled", "Tess.Dataset"},
    {13, {"txt", "text"}, "Profile File (*.txt;*.text)", "Untitled", "Tess.Profile"},
    {14, {"txt", "text"}, "Reflexion List File (*.txt;*.text)", "New Reflexion List", "Tess.ReflList"},
    {15, {"txt", "text"}, "Structure Factors File (*.txt;*.text)", "New Structure Factors", "Tess.StrucFact"},
    {16, {"mndf", "monoline"}, "Session File (*.mndf;*.monoline)", "Untitled", "Tess.Monoline"},
    {17, {"txt"}, "Diffraction Listing File (*.dlist)", "New Diffraction Listing", "Tess.DiffList", false},
    {18, {"txt"}, "Zone Axes Listing File (*.zones)", "New Zone Axes Listing", "Tess.ZoneList", false},
    {19, {"str", "atoms"}, "ATOMS Data File (*.str;*.atoms)", "New Crystal", "Tess.ATOMS"},
    {20, {"ccl"}, "CCSL Crystal Data File (*.ccl)", "New Crystal", "Tess.CCSL"},
    {21, {"chem3d", "cc1", "cc2"}, "Chem3D Cartesian File (*.chem3d;*.cc1;*.cc2)", "New Molecule", "Tess.Chem3D"},
    {22, {"cif"}, "CIF Crystal Data File (*.cif)", "New Crystal", "Tess.CIF"},
    {23, {"cssr"}, "CSSR Coordinate File (*.cssr)", "New Crystal", "Tess.CSSR"},
    {24, {"dlpoly", "history"}, "DL_POLY History File (*.dlpoly;*.history)", "New Crystal", "Tess.DL_POLY"},
    {25, {"car", "arc"}, "DMol3 File (*.car;*.arc)", "New Crystal", "Tess.DMol3"},
    {26, {"fdat", "csd", "ccdb"}, "FDAT Crystal Data File (*.fdat;*.csd;*.ccdb)", "New Crystal", "Tess.FDAT"},
    {27, {"gro"}, "GROMACS File (*.gro)", "New Crystal", "Tess.GROMACS"},
    {28, {"gsas", "exp"}, "GSAS Crystal Data File (*.gsas;*.exp)", "New Crystal", "Tess.GSAS"},
    {29, {"icsd"}, "CSD Crystal Data File (*.icsd)", "New Crystal", "Tess.ICSD"},
    {30, {"dump"}, "LAMMPS File (*.dump)", "New Crystal", "Tess.LAMMPS"},
    {31, {"mcm", "mm"}, "MacMolecule 1.x File (*.mcm;*.mm)", "New Crystal", "Tess.MacMolecule"},
    {32, {"mol"}, "MDL/Symyx Molfile (*.mol)", "New Molecule", "Tess.Molfile"},
    {33, {"pdb"}, "PDB Molecule File (*.pdb)", "New Molecule", "Tess.PDB"},
    {34, {"rint", "asc"}, "Rigaku-Scintag Diffractometer Data File (*.rint;*.asc)", "New Crystal", "Tess.Rigaku"},
    {35, {"sdf"}, "MDL/Symyx Structure-Data File (*.sdf)", "New Molecule", "Tess.SDF"},
    {36, {"shelx", "res"}, "SHELX Crystal File (*.shelx;*.res)", "New Crystal", "Tess.SHELX"},
    {37, {"struplo", "str"}, "STRUPLO Crystal File (*.struplo;*.str)", "New Crystal", "Tess.STRUPLO"},
    {38, {"topas"}, "TOPAS Structure File (*.str)", "New Crystal", "Tess.TOPAS"},
    {39, {"vasp", "poscar", "contcar"}, "VASP POSCAR/CONTCAR Data File (*.vasp;*.poscar;*.contcar)", "New Crystal", "Tess.VASP"},
    {40, {"vesta"}, "VESTA Structure File (*.vesta)", "New Crystal", "Tess.VESTA"},
    {41, {"wien2k", "struct"}, "WIEN2k Structure File (*.wien2k;*.struct)", "New Crystal", "Tess.WIEN2k"},
    {42, {"xyz"}, "VarnholtWerk XYZ File (*.xyz)", "New Molecule", "Tess.XYZ"},
    // Export formats: extensions only.
    {43, {"bmp"}, "", "", ""},
    {44, {"dae", "collada"}, "", "", ""},
    {45, {"emf"}, "", "", ""},
    {46, {"gif"}, "", "", ""},
    {47, {"html", "htm"}, "", "", ""},
    {48, {"ico"}, "", "", ""},
    {50, {"jpg", "jpeg"}, "", "", ""},
    {51, {"avi"}, "", "", ""},
    {52, {"mov"}, "", "", ""},
    {53, {"mov"}, "", "", ""},
    {54, {"png"}, "", "", ""},
    {55, {"stl"}, "", "", ""},
    {56, {"rtf"}, "", "", ""},
    {57, {"txt", "text"}, "", "", ""},
    {58, {"tiff", "tif"}, "", "", ""},
    {59, {"url"}, "", "", ""},
    {60, {"wmf"}, "", "", ""},
};

constexpr unsigned kMoleculeTypes[] = {2, 5, 7, 21, 31, 32, 35, 42};

// The order in which content probes are asked when the extension does not settle the type:
// session, legacy session, binary crystal, older binary crystal, text crystal, observed data,
// CIF, profile, Rigaku.
constexpr unsigned kProbeOrder[] = {10, 11, 1, 6, 3, 12, 22, 13, 34};

struct CRegistration {
  uint64_t handle;
  std::vector<unsigned> typeIds;
  CTessFile::CProbe probe;
  CTessFile::CFactory factory;
};

std::vector<CRegistration>& Registrations() {
  static std::vector<CRegistration> registrations;
  return registrations;
}

const CRegistration* Serving(unsigned typeId) {
  const auto& registrations = Registrations();
  const auto found = std::find_if(registrations.rbegin(), registrations.rend(),
                                  [typeId](const CRegistration& r) {
                                    return std::ranges::find(r.typeIds, typeId) != r.typeIds.end();
                                  });
  return found == registrations.rend() ? nullptr : &*found;
}

// The type a format's probe recognises, 0 when it has none or the file is not one of its.
unsigned Probe(unsigned typeId, const std::string& path) {
  const CRegistration* registration = Serving(typeId);
  if (!registration || !registration->probe) return CTessFile::kUnknownType;
  try {
    return registration->probe(path);
  } catch (const CVHXFile&) {
    // A file too short or malformed for this format is simply not one of its files.
    return CTessFile::kUnknownType;
  }
}

std::string LowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

const CTessFileType* CTessFile::TypeInfo(unsigned typeId) {
  const auto found = std::ranges::find(kTypes, typeId, &CTessFileType::id);
  return found == std::end(kTypes) ? nullptr : &*found;
}

std::vector<std::string> CTessFile::Extensions(unsigned typeId) {
  std::vector<std::string> extensions;
  if (const CTessFileType* type = TypeInfo(typeId))
    for (const std::string_view extension : type->extensions)
      if (!extension.empty()) extensions.push_back("." + std::string(extension));
  return extensions;
}

std::vector<unsigned> CTessFile::CandidateTypes(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::vector<unsigned> candidates;
  if (extension.size() < 2) return candidates;
  extension = LowerCase(extension.substr(1));
  for (const CTessFileType& type : kTypes)
    if (type.matchedByExtension && std::ranges::find(type.extensions, extension) != type.extensions.end())
      candidates.push_back(type.id);
  return candidates;
}

bool CTessFile::IsMoleculeType(unsigned typeId) {
  return std::ranges::find(kMoleculeTypes, typeId) != std::end(kMoleculeTypes);
}

unsigned CTessFile::DetermineType(const std::string& path, bool forceContentCheck) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return kUnknownType;
  const std::vector<unsigned> candidates = CandidateTypes(path);
  unsigned type = kUnknownType;
  if (!forceContentCheck) {
    if (candidates.size() == 1) type = candidates.front();
  } else {
    for (const unsigned candidate : candidates)
      if ((type = Probe(candidate, path)) != kUnknownType) break;
  }
  if (type == kUnknownType)
    for (const unsigned probed : kProbeOrder)
      if ((type = Probe(probed, path)) != kUnknownType) break;
  return type != kUnknownType && Create(type) ? type : kUnknownType;
}

void CTessFile::ReadCrystal(CTSCrystal&) {
  throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, GetDisplayName());
}

std::vector<CNamedCrystal> CTessFile::ReadCrystals() {
  std::vector<CNamedCrystal> crystals(1);
  ReadCrystal(crystals.front().crystal);
  return crystals;
}

void CTessFile::WriteCrystal(const CTSCrystal&, std::string_view) {
  throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, GetDisplayName());
}

void CTessFile::ReadObservedData(CObservedData&) {
  throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, GetDisplayName());
}

void CTessFile::ReadSession(CSession&) {
  throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, GetDisplayName());
}

void CTessFile::WriteSession(const CSession&) {
  throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, GetDisplayName());
}

std::unique_ptr<CTessFile> CTessFile::Create(unsigned typeId) {
  const CRegistration* registration = Serving(typeId);
  if (!registration || !registration->factory) return nullptr;
  return registration->factory(typeId);
}

CTessFile::CRegistrar::CRegistrar(std::initializer_list<unsigned> typeIds, CProbe probe,
                                  CFactory factory) {
  static uint64_t nextHandle = 0;
  m_handle = ++nextHandle;
  Registrations().push_back({m_handle, typeIds, probe, factory});
}

CTessFile::CRegistrar::~CRegistrar() {
  std::erase_if(Registrations(), [this](const CRegistration& r) { return r.handle == m_handle; });
}
