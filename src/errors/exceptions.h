// The exception tree: one class per situation, grouped under family classes. Each class
// carries the number of its alert text in the string table; a family without text of its own
// shows the unknown-error text with the family's number in its code line.
#pragma once

#include <string>

#include "errors/exception.h"

// Direct subclasses of CVHException: the families and the general errors.
TESSALINE_EXCEPTION(CVHXNull, CVHException, 20480)
TESSALINE_EXCEPTION(CVHXUnknown, CVHException, 20481)
TESSALINE_EXCEPTION(CVHXFile, CVHException, 20483)
TESSALINE_EXCEPTION(CVHXMemory, CVHException, 20484)
TESSALINE_EXCEPTION(CVHXProduct, CVHException, 20486)
TESSALINE_EXCEPTION(CVHXResource, CVHException, 20487)
TESSALINE_EXCEPTION(CVHXWinAPI, CVHException, 20488)
TESSALINE_EXCEPTION(CVHXTSFile, CVHException, 22828)

// Wraps a failure of the platform layer (a std::exception other than our own): the message
// becomes "A system error (code) has occurred." and the explanation the platform's text.
class CVHXMFC : public CVHException {
 public:
  static constexpr unsigned kResourceId = 20482;
  static constexpr unsigned kSystemErrorText = 1204;
  static constexpr size_t kMaxPlatformTextLength = 512;

  CVHXMFC(unsigned severity, long long code, unsigned location, std::string platformText);
  std::unique_ptr<CVHException> Clone() const override;
  void Format(const CFormatArguments& arguments) override;
  const std::string& PlatformText() const { return m_platformText; }

 private:
  std::string m_platformText;
};

// File errors of the framework, used by every format.
TESSALINE_EXCEPTION(CVHXNoDataFolder, CVHXFile, 20792)
TESSALINE_EXCEPTION(CVHXFileASFBadLine, CVHXFile, 21081)
TESSALINE_EXCEPTION(CVHXFileASFNotFound, CVHXFile, 21082)
TESSALINE_EXCEPTION(CVHXFileASFNotOpen, CVHXFile, 21083)
TESSALINE_EXCEPTION(CVHXFileBadHeader, CVHXFile, 21084)
TESSALINE_EXCEPTION(CVHXFileBadVersion, CVHXFile, 21085)
TESSALINE_EXCEPTION(CVHXFileConversionErr, CVHXFile, 21087)
TESSALINE_EXCEPTION(CVHXFileCRCFailed, CVHXFile, 21088)
TESSALINE_EXCEPTION(CVHXFileEOF, CVHXFile, 21090)
TESSALINE_EXCEPTION(CVHXFileImportNoAtoms, CVHXFile, 21092)
TESSALINE_EXCEPTION(CVHXFileInvalid, CVHXFile, 21093)
TESSALINE_EXCEPTION(CVHXFileLotsOfFiles, CVHXFile, 21094)
TESSALINE_EXCEPTION(CVHXFileMapError, CVHXFile, 21095)
TESSALINE_EXCEPTION(CVHXFileMissingSymmetry, CVHXFile, 21098)
TESSALINE_EXCEPTION(CVHXFileNotFound, CVHXFile, 21102)
TESSALINE_EXCEPTION(CVHXFileNotOpen, CVHXFile, 21103)
TESSALINE_EXCEPTION(CVHXFileObsolete2, CVHXFile, 21105)
TESSALINE_EXCEPTION(CVHXFileObsolete5, CVHXFile, 21106)
TESSALINE_EXCEPTION(CVHXFileObsolete7, CVHXFile, 21107)
TESSALINE_EXCEPTION(CVHXFileOpenMultiBadName, CVHXFile, 21108)
TESSALINE_EXCEPTION(CVHXFileSaveAsBadExt, CVHXFile, 21110)
TESSALINE_EXCEPTION(CVHXFileSaveAsNeedExt, CVHXFile, 21111)
TESSALINE_EXCEPTION(CVHXFileTooNew, CVHXFile, 21115)
TESSALINE_EXCEPTION(CVHXFileUnsupportedType, CVHXFile, 21117)

// File errors of the program's own formats.
TESSALINE_EXCEPTION(CVHXFileBadADP, CVHXTSFile, 22829)
TESSALINE_EXCEPTION(CVHXFileCIFInvalidLoop, CVHXTSFile, 22831)
TESSALINE_EXCEPTION(CVHXFileCIFMissingDataInLoop, CVHXTSFile, 22832)
TESSALINE_EXCEPTION(CVHXFileCIFReadError, CVHXTSFile, 22834)
TESSALINE_EXCEPTION(CVHXFileCIFUnexpectedItem, CVHXTSFile, 22836)
TESSALINE_EXCEPTION(CVHXFileNoData, CVHXTSFile, 22837)
TESSALINE_EXCEPTION(CVHXFileNoMoleculeDiffract, CVHXTSFile, 22838)
TESSALINE_EXCEPTION(CVHXFileNumAtomsErr, CVHXTSFile, 22839)
TESSALINE_EXCEPTION(CVHXFileNumAtomsPerSiteErr, CVHXTSFile, 22840)
TESSALINE_EXCEPTION(CVHXFileNumEllipsoidsErr, CVHXTSFile, 22841)
TESSALINE_EXCEPTION(CVHXFileObsoleteMac5, CVHXTSFile, 22842)
TESSALINE_EXCEPTION(CVHXFileProfileTooFewPoints, CVHXTSFile, 22843)
TESSALINE_EXCEPTION(CVHXFileRigakuBadCount, CVHXTSFile, 22844)
TESSALINE_EXCEPTION(CVHXFileRigakuBadRange, CVHXTSFile, 22845)
TESSALINE_EXCEPTION(CVHXFileRigakuBadStart, CVHXTSFile, 22846)
TESSALINE_EXCEPTION(CVHXFileRigakuBadStep, CVHXTSFile, 22847)
TESSALINE_EXCEPTION(CVHXFileRigakuBadStop, CVHXTSFile, 22848)
TESSALINE_EXCEPTION(CVHXFileRigakuDataset, CVHXTSFile, 22849)
TESSALINE_EXCEPTION(CVHXFileRigakuBadYValue, CVHXTSFile, 22850)
TESSALINE_EXCEPTION(CVHXFileSessionADPMismatch, CVHXTSFile, 22851)
TESSALINE_EXCEPTION(CVHXFileSessionDataExpected, CVHXTSFile, 22852)
TESSALINE_EXCEPTION(CVHXFileSessionNumPatterns, CVHXTSFile, 22853)
TESSALINE_EXCEPTION(CVHXFileSessionPatDataExpected, CVHXTSFile, 22854)
TESSALINE_EXCEPTION(CVHXFileSessionPlotDataExpected, CVHXTSFile, 22855)
TESSALINE_EXCEPTION(CVHXFileSessionUnknownPattern, CVHXTSFile, 22856)
TESSALINE_EXCEPTION(CVHXFileSessionWinDataExpected, CVHXTSFile, 22860)
TESSALINE_EXCEPTION(CVHXFileTextAnisoParams, CVHXTSFile, 22861)
TESSALINE_EXCEPTION(CVHXFileTextInvalidSiteOcc, CVHXTSFile, 22862)
TESSALINE_EXCEPTION(CVHXFileTextIsoParams, CVHXTSFile, 22863)
TESSALINE_EXCEPTION(CVHXFileTextLowercaseCard, CVHXTSFile, 22864)
TESSALINE_EXCEPTION(CVHXFileTextNoLatticeParams, CVHXTSFile, 22865)
TESSALINE_EXCEPTION(CVHXFileVisualiseXferFind, CVHXTSFile, 22867)
TESSALINE_EXCEPTION(CVHXFileVisualiseXferNoApp, CVHXTSFile, 22868)
TESSALINE_EXCEPTION(CVHXFileVisualiseXferNoFile, CVHXTSFile, 22869)
TESSALINE_EXCEPTION(CVHXFileVisualiseXferNoLaunch, CVHXTSFile, 22870)
TESSALINE_EXCEPTION(CVHXFileVisualiseXferNoWrite, CVHXTSFile, 22872)
// What no crystal can be, whatever format it comes in.
TESSALINE_EXCEPTION(CVHXFileImpossibleCell, CVHXTSFile, 22880)
TESSALINE_EXCEPTION(CVHXFileNotFinite, CVHXTSFile, 22881)
TESSALINE_EXCEPTION(CVHXFileImpossibleOccupancy, CVHXTSFile, 22882)

// Program errors: the sub-families.
TESSALINE_EXCEPTION(CVHXMain, CVHXProduct, 20780)
TESSALINE_EXCEPTION(CVHXCopyGrfx, CVHXProduct, 20880)
TESSALINE_EXCEPTION(CVHXFloatEdit, CVHXProduct, 21180)
TESSALINE_EXCEPTION(CVHXPreferences, CVHXProduct, 21380)
TESSALINE_EXCEPTION(CVHXSubEditList, CVHXProduct, 21480)
TESSALINE_EXCEPTION(CVHXUtilities, CVHXProduct, 21580)
TESSALINE_EXCEPTION(CVHXTSEngine, CVHXProduct, 22928)
TESSALINE_EXCEPTION(CVHXDiffWnd, CVHXProduct, 23028)
TESSALINE_EXCEPTION(CVHXFindPeak, CVHXProduct, 23128)
TESSALINE_EXCEPTION(CVHXPlotLimits, CVHXProduct, 23328)
TESSALINE_EXCEPTION(CVHXReflexions, CVHXProduct, 23428)
TESSALINE_EXCEPTION(CVHXScattering, CVHXProduct, 23528)
TESSALINE_EXCEPTION(CVHXStructures, CVHXProduct, 23628)

// Calculation.
TESSALINE_EXCEPTION(CVHXDiffractTempReflErr, CVHXTSEngine, 22929)
TESSALINE_EXCEPTION(CVHXDiffractNoASF, CVHXTSEngine, 22931)
TESSALINE_EXCEPTION(CVHXLotsOfRefs, CVHXTSEngine, 22932)
TESSALINE_EXCEPTION(CVHXReflexionMemory, CVHXTSEngine, 22934)

// Diffraction window and crystal editing.
TESSALINE_EXCEPTION(CVHXBadADPAnisotropic, CVHXDiffWnd, 23030)
TESSALINE_EXCEPTION(CVHXBadADPUIso, CVHXDiffWnd, 23031)
TESSALINE_EXCEPTION(CVHXBadSpacegroup, CVHXDiffWnd, 23032)
TESSALINE_EXCEPTION(CVHXDiffWindow, CVHXDiffWnd, 23034)
TESSALINE_EXCEPTION(CVHXInvalidSiteOcc, CVHXDiffWnd, 23035)
TESSALINE_EXCEPTION(CVHXSiteOccSumNotOne, CVHXDiffWnd, 23036)
TESSALINE_EXCEPTION(CVHXUnableToMatchScattering, CVHXDiffWnd, 23729)

// An alert whose text has no class of its own, by the text's number.
class CVHXAlertText : public CVHException {
 public:
  template <class... Arguments>
  explicit CVHXAlertText(unsigned textId, unsigned severity = kSeverityMessage,
                         const Arguments&... arguments)
      : CVHException(Deferred{}, severity, 0, 0) {
    Initialise(textId, CFormatArguments{ToFormatArgument(arguments)...});
  }
  std::unique_ptr<CVHException> Clone() const override {
    return std::make_unique<CVHXAlertText>(*this);
  }
};

// Pattern list.
TESSALINE_EXCEPTION(CVHXStructuresAddLots, CVHXStructures, 23629)
TESSALINE_EXCEPTION(CVHXStructuresDestroySelected, CVHXStructures, 23631)
TESSALINE_EXCEPTION(CVHXStructuresInvalidMixture, CVHXStructures, 23634)
TESSALINE_EXCEPTION(CVHXStructuresMemErr, CVHXStructures, 23635)
TESSALINE_EXCEPTION(CVHXStructuresNestedMixture, CVHXStructures, 23636)

// Reflexions pane.
TESSALINE_EXCEPTION(CVHXReflexionsMemErr, CVHXReflexions, 23429)

// Scattering-factor window.
TESSALINE_EXCEPTION(CVHXScatteringSplitter, CVHXScattering, 23529)

// Peak finding.
TESSALINE_EXCEPTION(CVHXFindPeakNoReflexion, CVHXFindPeak, 23129)
TESSALINE_EXCEPTION(CVHXFindPeakZeroIndices, CVHXFindPeak, 23130)

// Numeric edit fields.
TESSALINE_EXCEPTION(CVHXFloatRange, CVHXFloatEdit, 21181)
TESSALINE_EXCEPTION(CVHXFloatSyntax, CVHXFloatEdit, 21182)

// Plot limits.
TESSALINE_EXCEPTION(CVHXPlotLimitsBadRange, CVHXPlotLimits, 23329)

// Copying graphics.
TESSALINE_EXCEPTION(CVHXCopyGrfxNoBitmap, CVHXCopyGrfx, 20881)

// Preferences.
TESSALINE_EXCEPTION(CVHXBadPrefs, CVHXPreferences, 21381)
TESSALINE_EXCEPTION(CVHXBadPrefsVersion, CVHXPreferences, 21383)
TESSALINE_EXCEPTION(CVHXPrefsDlg, CVHXPreferences, 21384)

// List editing.
TESSALINE_EXCEPTION(CVHXSubEditInit, CVHXSubEditList, 21481)

// Utilities.
TESSALINE_EXCEPTION(CVHXBadPath, CVHXUtilities, 21581)
TESSALINE_EXCEPTION(CVHXBadURL, CVHXUtilities, 21582)
TESSALINE_EXCEPTION(CVHXCantCreateMutex, CVHXUtilities, 21583)
TESSALINE_EXCEPTION(CVHXInvalidMatrix, CVHXUtilities, 21585)

// Application start-up and help.
TESSALINE_EXCEPTION(CVHXAbortAppInit, CVHXMain, 20781)
TESSALINE_EXCEPTION(CVHXAppInit, CVHXMain, 20782)
TESSALINE_EXCEPTION(CVHXFileAssocCancel, CVHXMain, 20786)
TESSALINE_EXCEPTION(CVHXFileAssocFailed, CVHXMain, 20787)
TESSALINE_EXCEPTION(CVHXNoAppMutex, CVHXMain, 20790)
TESSALINE_EXCEPTION(CVHXNoDialog, CVHXMain, 20793)
TESSALINE_EXCEPTION(CVHXNoDocument, CVHXMain, 20794)
TESSALINE_EXCEPTION(CVHXNoHelp, CVHXMain, 20795)
TESSALINE_EXCEPTION(CVHXNoNewApp, CVHXMain, 20797)
TESSALINE_EXCEPTION(CVHXNoToolbar, CVHXMain, 20798)
TESSALINE_EXCEPTION(CVHXTutorialCantOpen, CVHXMain, 20801)
TESSALINE_EXCEPTION(CVHXTutorialNotFound, CVHXMain, 20802)
TESSALINE_EXCEPTION(CVHXUpdateFailed, CVHXMain, 20803)
TESSALINE_EXCEPTION(CVHXUpdateManual, CVHXMain, 20804)
TESSALINE_EXCEPTION(CVHXUserGuideCantOpen, CVHXMain, 20805)
TESSALINE_EXCEPTION(CVHXUserGuideNotFound, CVHXMain, 20806)
TESSALINE_EXCEPTION(CVHXWrongOSVersion, CVHXMain, 20807)

// Memory.
TESSALINE_EXCEPTION(CVHXAllocationFailed, CVHXMemory, 20583)
TESSALINE_EXCEPTION(CVHXOutOfMemory, CVHXMemory, 20584)

// Resources.
TESSALINE_EXCEPTION(CVHXCantLoadResource, CVHXResource, 20585)
TESSALINE_EXCEPTION(CVHXNoVersionInfo, CVHXResource, 20587)

// Unknown errors.
TESSALINE_EXCEPTION(CVHXUnimplemented, CVHXUnknown, 20582)

// System interface.
TESSALINE_EXCEPTION(CVHXGDIPlus, CVHXWinAPI, 20489)

// Turns any exception into one of ours: a CVHException is copied as it is; exhausted memory
// becomes CVHXOutOfMemory at fatal severity and CVHXAllocationFailed otherwise; another
// std::exception becomes CVHXMFC with its what() text; anything else CVHXUnknown.
std::unique_ptr<CVHException> ConvertException(std::exception_ptr error, unsigned severity);
