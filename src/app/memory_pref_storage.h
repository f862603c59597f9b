// A preference storage that lives in memory: for tests, and for runs that must leave the
// user's own storage untouched.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "app/pref_storage.h"

class CMemoryPrefStorage final : public CPrefStorage {
 public:
  using CEntry = std::variant<std::vector<std::byte>, std::string>;

  // The entry of a key, or null.
  const CEntry* Find(std::string_view key) const;
  void Erase(std::string_view key);
  size_t Size() const { return m_entries.size(); }
  // Every write counts, also one that stores what was there.
  size_t WriteCount() const { return m_writes; }
  // An unreadable storage stands for one that cannot be opened.
  void SetReadable(bool readable) { m_readable = readable; }

 protected:
  bool Readable() const override { return m_readable; }
  CPrefStatus Bytes(std::string_view key, std::vector<std::byte>& bytes) const override;
  CPrefStatus Text(std::string_view key, std::string& text) const override;
  void StoreBytes(std::string_view key, std::span<const std::byte> bytes) override;
  void StoreText(std::string_view key, std::string_view text) override;

 private:
  std::map<std::string, CEntry, std::less<>> m_entries;
  size_t m_writes = 0;
  bool m_readable = true;
};
