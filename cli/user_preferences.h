// The user's preferences where the desktop application keeps them, loaded. Loading hands the
// stored rules, reflexion memory budget and scattering factors to the calculations.
#pragma once

#include "gui/settings_storage.h"
#include "preferences/preferences.h"

class CUserPreferences {
 public:
  CUserPreferences() : m_preferences(m_storage, CPreferences::DefaultsOnly{}) {
    m_preferences.Load();
  }

  CPreferences& Preferences() { return m_preferences; }

 private:
  CQtSettingsStorage m_storage;
  CPreferences m_preferences;
};
