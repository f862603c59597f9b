// Fuzzers read many broken files: their alerts are answered silently instead of printed.
#pragma once

#include "errors/alert.h"

class CQuietAlerts : public CAlertPresenter {
 public:
  CQuietAlerts() { InstallAlertPresenter(this); }
  Answer Present(const CVHAlertContent&) override { return kFirstButton; }
};
