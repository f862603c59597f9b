#include "app/pref_value.h"

#include "app/crc32.h"
#include "app/vh_preferences.h"

CPrefValue::CPrefValue(uint16_t groups, std::string key, CVHPreferences* owner)
    : m_groups(groups), m_key(std::move(key)), m_owner(owner) {
  if (m_owner) m_owner->Join(*this);
}

uint32_t CPrefValue::UpdateChecksum(uint32_t crc) const {
  const CStoredForm form = StoredForm();
  return CCRC32::Update(crc, form.bytes.data(), form.bytes.size());
}

void CPrefValue::Write(CPrefStorage& storage) const {
  const CStoredForm form = StoredForm();
  if (form.text)
    storage.WriteText(m_key, {reinterpret_cast<const char*>(form.bytes.data()), form.bytes.size()});
  else
    storage.WriteBytes(m_key, form.bytes);
}

size_t CPrefValue::Size() const {
  return StoredForm().bytes.size();
}
