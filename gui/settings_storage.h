// The preference storage of the desktop: QSettings in the user's scope, organisation
// "VarnholtWerk Software", application "Tessaline", group "Preferences". On Linux that is an
// INI file under the user's configuration folder ($XDG_CONFIG_HOME, else ~/.config). Byte
// values are kept as byte arrays, texts as text.
#pragma once

#include <QSettings>

#include "app/pref_storage.h"

class CQtSettingsStorage final : public CPrefStorage {
 public:
  CQtSettingsStorage();

 protected:
  bool Readable() const override;
  CPrefStatus Bytes(std::string_view key, std::vector<std::byte>& bytes) const override;
  CPrefStatus Text(std::string_view key, std::string& text) const override;
  void StoreBytes(std::string_view key, std::span<const std::byte> bytes) override;
  void StoreText(std::string_view key, std::string_view text) override;

 private:
  // QSettings reads and writes through const and non-const calls alike; the storage lock
  // serialises them.
  mutable QSettings m_settings;
};
