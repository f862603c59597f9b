#include "gui/settings_storage.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace {

QString Key(std::string_view key) {
  return QStringLiteral("Preferences/") +
         QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

}  // namespace

CQtSettingsStorage::CQtSettingsStorage()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope,
                 QStringLiteral("VarnholtWerk Software"), QStringLiteral("Tessaline")) {}

bool CQtSettingsStorage::Readable() const {
  return m_settings.status() == QSettings::NoError;
}

CPrefStatus CQtSettingsStorage::Bytes(std::string_view key, std::vector<std::byte>& bytes) const {
  const QVariant value = m_settings.value(Key(key));
  if (!value.isValid()) return kPrefMissing;
  if (value.typeId() != QMetaType::QByteArray) return kPrefWrongSize;
  const QByteArray stored = value.toByteArray();
  const auto* first = reinterpret_cast<const std::byte*>(stored.constData());
  bytes.assign(first, first + stored.size());
  return kPrefRead;
}

CPrefStatus CQtSettingsStorage::Text(std::string_view key, std::string& text) const {
  const QVariant value = m_settings.value(Key(key));
  if (value.typeId() != QMetaType::QString) return kPrefMissing;
  const QString stored = value.toString();
  if (stored.isEmpty()) return kPrefMissing;
  if (stored.contains(QChar(0))) return kPrefLengthMismatch;
  text = stored.toStdString();
  return kPrefRead;
}

void CQtSettingsStorage::StoreBytes(std::string_view key, std::span<const std::byte> bytes) {
  m_settings.setValue(Key(key), QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                           static_cast<qsizetype>(bytes.size())));
}

void CQtSettingsStorage::StoreText(std::string_view key, std::string_view text) {
  m_settings.setValue(Key(key),
                      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}
