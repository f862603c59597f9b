#include "preferences/scattering_factor_preference.h"

#include "diffraction/scattering_table.h"

namespace {

void AppendText(std::vector<std::byte>& bytes, const std::string& text) {
  CPrefElementCodec<uint32_t>::Append(bytes, static_cast<uint32_t>(text.size()));
  const auto* first = reinterpret_cast<const std::byte*>(text.data());
  bytes.insert(bytes.end(), first, first + text.size());
}

bool TakeText(std::span<const std::byte>& bytes, std::string& text) {
  uint32_t length = 0;
  if (!CPrefElementCodec<uint32_t>::Take(bytes, length) || bytes.size() < length) return false;
  text.assign(reinterpret_cast<const char*>(bytes.data()), length);
  bytes = bytes.subspan(length);
  return true;
}

}  // namespace

void CPrefElementCodec<CVHASF>::Append(std::vector<std::byte>& bytes, const CVHASF& record) {
  AppendText(bytes, record.symbol);
  CPrefElementCodec<int32_t>::Append(bytes, record.z);
  CPrefElementCodec<double>::Append(bytes, record.w);
  for (double coefficient : record.f) CPrefElementCodec<double>::Append(bytes, coefficient);
  CPrefElementCodec<double>::Append(bytes, record.b);
  AppendText(bytes, record.notes);
}

bool CPrefElementCodec<CVHASF>::Take(std::span<const std::byte>& bytes, CVHASF& record) {
  bool taken = TakeText(bytes, record.symbol) &&
               CPrefElementCodec<int32_t>::Take(bytes, record.z) &&
               CPrefElementCodec<double>::Take(bytes, record.w);
  for (double& coefficient : record.f)
    taken = taken && CPrefElementCodec<double>::Take(bytes, coefficient);
  return taken && CPrefElementCodec<double>::Take(bytes, record.b) && TakeText(bytes, record.notes);
}

CPrefScatteringFactors::CPrefScatteringFactors(uint16_t groups, CVHPreferences* owner)
    : CPrefArray(groups, "ASF", owner, BuiltInScatteringFactors()) {}

CPrefScatteringFactors::CElements CPrefScatteringFactors::Get() const {
  CMutexLock lock(*this);
  return CScatteringFactorTable::Instance().Records();
}

void CPrefScatteringFactors::Set(CElements records) {
  CMutexLock lock(*this);
  CScatteringFactorTable::Instance().Install(std::move(records));
}
