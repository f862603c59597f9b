#include "patterns/transfer_image.h"

#include <cstring>

#include "crystal/crystal.h"
#include "diffraction/reflexion.h"
#include "errors/exceptions.h"

namespace {

// How a site's displacement record is stored.
enum CDisplacementTag : uint8_t { kNoDisplacement = 0, kIsotropic = 1, kAnisotropic = 2 };

template <class T, class WriteItem>
void WriteSequence(CTransferWriter& writer, const std::vector<T>& items, WriteItem writeItem) {
  writer.Write<uint64_t>(items.size());
  for (const T& item : items) writeItem(item);
}

void WriteScattering(CTransferWriter& writer, const CVHASF& record) {
  writer.WriteString(record.symbol);
  writer.Write(record.z);
  writer.Write(record.w);
  writer.Write(record.f);
  writer.Write(record.b);
  writer.WriteString(record.notes);
}

CVHASF ReadScattering(CTransferReader& reader) {
  CVHASF record;
  record.symbol = reader.ReadString();
  record.z = reader.Read<int32_t>();
  record.w = reader.Read<double>();
  record.f = reader.Read<std::array<double, 9>>();
  record.b = reader.Read<double>();
  record.notes = reader.ReadString();
  return record;
}

void WriteDisplacement(CTransferWriter& writer, const CTSThermalEllipsoid* displacement) {
  if (!displacement) {
    writer.Write(kNoDisplacement);
    return;
  }
  const auto* anisotropic = dynamic_cast<const CTSAnisoThermalEllipsoid*>(displacement);
  writer.Write(anisotropic ? kAnisotropic : kIsotropic);
  writer.Write(displacement->U());
  if (anisotropic) writer.Write(anisotropic->Beta());
}

std::unique_ptr<CTSThermalEllipsoid> ReadDisplacement(CTransferReader& reader) {
  const auto tag = reader.Read<uint8_t>();
  if (tag == kNoDisplacement) return nullptr;
  const double u = reader.Read<double>();
  if (tag == kIsotropic) return std::make_unique<CTSThermalEllipsoid>(u);
  if (tag != kAnisotropic) throw CVHXFileInvalid();
  const auto beta = reader.Read<std::array<double, 9>>();
  return std::make_unique<CTSAnisoThermalEllipsoid>(CTSAnisoThermalEllipsoid::FromTensor(u, beta));
}

void WriteSite(CTransferWriter& writer, const CTSSite& site) {
  WriteSequence(writer, site.positions, [&](const VHTypes::CVector& p) { writer.Write(p); });
  WriteSequence(writer, site.rotations, [&](const VHTypes::CRotation& r) { writer.Write(r); });
  WriteSequence(writer, site.atoms, [&](const CTSAtom& atom) {
    writer.WriteString(atom.symbol);
    WriteScattering(writer, atom.scattering);
    writer.Write(atom.occupancy);
  });
  writer.Write(site.flag);
  writer.WriteString(site.label);
  writer.Write(site.x);
  writer.Write(site.y);
  writer.Write(site.z);
  writer.Write(site.included);
  WriteDisplacement(writer, site.displacement.get());
  writer.Write(site.scatteringGroup);
}

CTSSite ReadSite(CTransferReader& reader) {
  CTSSite site;
  site.positions.resize(reader.ReadCount(sizeof(VHTypes::CVector)));
  for (VHTypes::CVector& p : site.positions) p = reader.Read<VHTypes::CVector>();
  site.rotations.resize(reader.ReadCount(sizeof(VHTypes::CRotation)));
  for (VHTypes::CRotation& r : site.rotations) r = reader.Read<VHTypes::CRotation>();
  site.atoms.resize(reader.ReadCount(1));
  for (CTSAtom& atom : site.atoms) {
    atom.symbol = reader.ReadString();
    atom.scattering = ReadScattering(reader);
    atom.occupancy = reader.Read<double>();
  }
  site.flag = reader.Read<bool>();
  site.label = reader.ReadString();
  site.x = reader.Read<double>();
  site.y = reader.Read<double>();
  site.z = reader.Read<double>();
  site.included = reader.Read<bool>();
  site.displacement = ReadDisplacement(reader);
  site.scatteringGroup = reader.Read<int64_t>();
  return site;
}

}  // namespace

void CTransferWriter::WriteBytes(const void* data, size_t count) {
  if (!m_counting) {
    if (count > m_buffer.size() - m_position) throw CVHXFileEOF();
    if (count > 0)
      std::memcpy(m_buffer.data() + m_position, data, count);  // an empty vector's data may be null
  }
  m_position += count;
}

void CTransferWriter::WriteString(const std::string& text) {
  Write<uint64_t>(text.size());
  WriteBytes(text.data(), text.size());
}

void CTransferWriter::WriteProfile(const CProfile& profile) {
  Write<uint64_t>(profile.size());
  WriteBytes(profile.data(), profile.size() * sizeof(CProfilePoint));
}

void CTransferReader::ReadBytes(void* data, size_t count) {
  if (count > m_image.size() - m_position) throw CVHXFileEOF();
  if (count > 0) std::memcpy(data, m_image.data() + m_position, count);
  m_position += count;
}

size_t CTransferReader::ReadCount(size_t itemSize) {
  const auto count = Read<uint64_t>();
  if (count > (m_image.size() - m_position) / itemSize) throw CVHXFileEOF();
  return static_cast<size_t>(count);
}

std::string CTransferReader::ReadString() {
  std::string text(ReadCount(1), '\0');
  ReadBytes(text.data(), text.size());
  return text;
}

CProfile CTransferReader::ReadProfile() {
  CProfile profile(ReadCount(sizeof(CProfilePoint)));
  ReadBytes(profile.data(), profile.size() * sizeof(CProfilePoint));
  return profile;
}

void WriteCrystal(CTransferWriter& writer, const CTSCrystal& crystal) {
  writer.Write(crystal.kind);
  for (const double value : {crystal.a, crystal.b, crystal.c, crystal.alpha, crystal.beta, crystal.gamma,
                             crystal.aStar, crystal.bStar, crystal.cStar, crystal.alphaStar, crystal.betaStar,
                             crystal.gammaStar, crystal.volume, crystal.density})
    writer.Write(value);
  writer.Write(crystal.reciprocalMetric);
  writer.Write(crystal.directMetric);
  writer.Write(crystal.originOffset);
  writer.Write(crystal.originChoice);
  writer.Write(crystal.hasDisplacementParameters);
  writer.Write(crystal.useDisplacementParameters);
  WriteSequence(writer, crystal.sites, [&](const CTSSite& site) { WriteSite(writer, site); });
  WriteSequence(writer, crystal.reflexions, [&](const auto& reflexion) { writer.Write(*reflexion); });
  writer.Write(crystal.maximumIntensity);
  writer.Write(crystal.particleSize);
  writer.Write(crystal.isotropicStrain);
  writer.Write(crystal.usePreferredOrientation);
  writer.Write(crystal.preferredOrientationGeometry);
  writer.Write(crystal.preferredOrientationVectorType);
  writer.Write(crystal.preferredOrientationVector);
  writer.Write(crystal.preferredOrientationAlignment);
  writer.Write(crystal.preferredOrientationNormalisation);
  writer.WriteString(crystal.spaceGroupSymbol);
  WriteSequence(writer, crystal.symmetryOperators, [&](const CTSSymOp& op) {
    writer.Write(op.Rotation());
    writer.Write(op.Translation());
    writer.WriteString(op.Text());
  });
  writer.Write(crystal.latticeLetter);
  writer.Write(crystal.centrosymmetric);
  writer.Write(crystal.legacyRules);
}

void ReadCrystal(CTransferReader& reader, CTSCrystal& crystal) {
  crystal.kind = reader.Read<int32_t>();
  for (double* value : {&crystal.a, &crystal.b, &crystal.c, &crystal.alpha, &crystal.beta, &crystal.gamma,
                        &crystal.aStar, &crystal.bStar, &crystal.cStar, &crystal.alphaStar, &crystal.betaStar,
                        &crystal.gammaStar, &crystal.volume, &crystal.density})
    *value = reader.Read<double>();
  crystal.reciprocalMetric = reader.Read<std::array<double, 9>>();
  crystal.directMetric = reader.Read<std::array<double, 9>>();
  crystal.originOffset = reader.Read<VHTypes::CVector>();
  crystal.originChoice = reader.Read<int32_t>();
  crystal.hasDisplacementParameters = reader.Read<bool>();
  crystal.useDisplacementParameters = reader.Read<bool>();
  crystal.sites.resize(reader.ReadCount(1));
  for (CTSSite& site : crystal.sites) site = ReadSite(reader);
  crystal.reflexions.resize(reader.ReadCount(sizeof(CTSReflexion)));
  for (auto& reflexion : crystal.reflexions) reflexion = std::make_shared<CTSReflexion>(reader.Read<CTSReflexion>());
  crystal.maximumIntensity = reader.Read<double>();
  crystal.particleSize = reader.Read<double>();
  crystal.isotropicStrain = reader.Read<double>();
  crystal.usePreferredOrientation = reader.Read<bool>();
  crystal.preferredOrientationGeometry = reader.Read<CTSCrystal::PreferredOrientationType>();
  crystal.preferredOrientationVectorType = reader.Read<CTSCrystal::TSVectorType>();
  crystal.preferredOrientationVector = reader.Read<VHTypes::CVector>();
  crystal.preferredOrientationAlignment = reader.Read<double>();
  crystal.preferredOrientationNormalisation = reader.Read<double>();
  crystal.spaceGroupSymbol = reader.ReadString();
  crystal.symmetryOperators.clear();
  for (size_t count = reader.ReadCount(1); count > 0; --count) {
    const auto rotation = reader.Read<std::array<double, 9>>();
    const auto translation = reader.Read<VHTypes::CVector>();
    crystal.symmetryOperators.emplace_back(rotation, translation, reader.ReadString());
  }
  crystal.latticeLetter = reader.Read<char>();
  crystal.centrosymmetric = reader.Read<bool>();
  crystal.legacyRules = reader.Read<bool>();
}
