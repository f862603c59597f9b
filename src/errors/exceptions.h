// The exception tree: one class per situation, grouped under family classes. Each class
// carries the number of its alert text in the string table.
#pragma once

#include "errors/exception.h"

// Direct subclasses of CVHException.
TESSALINE_EXCEPTION(CVHXNull, CVHException, 20480)
TESSALINE_EXCEPTION(CVHXUnknown, CVHException, 20481)
TESSALINE_EXCEPTION(CVHXProduct, CVHException, 20486)

// Program errors.
TESSALINE_EXCEPTION(CVHXDiffWnd, CVHXProduct, 23028)

// Diffraction window and crystal editing.
TESSALINE_EXCEPTION(CVHXBadADPAnisotropic, CVHXDiffWnd, 23030)
TESSALINE_EXCEPTION(CVHXBadADPUIso, CVHXDiffWnd, 23031)
TESSALINE_EXCEPTION(CVHXBadSpacegroup, CVHXDiffWnd, 23032)
TESSALINE_EXCEPTION(CVHXInvalidSiteOcc, CVHXDiffWnd, 23035)
TESSALINE_EXCEPTION(CVHXSiteOccSumNotOne, CVHXDiffWnd, 23036)
