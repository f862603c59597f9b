#include "app/memory_pref_storage.h"

const CMemoryPrefStorage::CEntry* CMemoryPrefStorage::Find(std::string_view key) const {
  const auto found = m_entries.find(key);
  return found == m_entries.end() ? nullptr : &found->second;
}

void CMemoryPrefStorage::Erase(std::string_view key) {
  if (const auto found = m_entries.find(key); found != m_entries.end()) m_entries.erase(found);
}

CPrefStatus CMemoryPrefStorage::Bytes(std::string_view key, std::vector<std::byte>& bytes) const {
  const CEntry* entry = Find(key);
  if (!entry) return kPrefMissing;
  const auto* stored = std::get_if<std::vector<std::byte>>(entry);
  if (!stored) return kPrefWrongSize;
  bytes = *stored;
  return kPrefRead;
}

CPrefStatus CMemoryPrefStorage::Text(std::string_view key, std::string& text) const {
  const CEntry* entry = Find(key);
  const auto* stored = entry ? std::get_if<std::string>(entry) : nullptr;
  if (!stored || stored->empty()) return kPrefMissing;
  if (stored->find('\0') != std::string::npos) return kPrefLengthMismatch;
  text = *stored;
  return kPrefRead;
}

void CMemoryPrefStorage::StoreBytes(std::string_view key, std::span<const std::byte> bytes) {
  m_entries.insert_or_assign(std::string(key), std::vector<std::byte>(bytes.begin(), bytes.end()));
  ++m_writes;
}

void CMemoryPrefStorage::StoreText(std::string_view key, std::string_view text) {
  m_entries.insert_or_assign(std::string(key), std::string(text));
  ++m_writes;
}
