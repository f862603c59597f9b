#include "resources/strings.h"

#include <algorithm>
#include <iterator>

namespace {

struct StringEntry {
  unsigned id;
  std::string_view text;
};

// Alert texts hold up to six pieces separated by "|": title, message, explanation, first
// button, second button, default button. Sorted by id.
constexpr StringEntry kStrings[] = {
    {1204, "A system error (^0) has occurred."},
    {1501, "Warning: Excess symmetry operators detected."},
    {2300, "Adding files to diffraction"},
    {2301, "Adding patterns to diffraction"},
    {3600, "Tessaline ASF"},
    {3601,
     "! Atomic scattering factors for use with %s\n! X-ray form factors: International Tables for "
     "Crystallography Vol. C (1992); neutron lengths: Sears (1992).\n!\n! This file looks best "
     "when viewed using a non-proportional font such as Courier New.\n"},
    {3602,
     "!------------------------------------------------------------------------------------\n"},
    {3617, "Import a Tessaline atomic scattering factors file"},
    {3621, "Export a Tessaline atomic scattering factors file"},
    {3706, "Generating a reflexions list..."},
    {3708, "Indexing atomic scattering factors..."},
    {3709, "Merging reflexions..."},
    {3710, "Optimising indices for %d unique reflexions..."},
    {3727, "Sorting %d reflexions..."},
    {20480, "|An unexpected error (^0) has occurred."},
    {20481, "|An unknown error (^0) has occurred."},
    {20483, "File Error|A file system error (^0) has occurred."},
    {20484, "Memory Error|A memory error (^0) has occurred."},
    {20485, "Network Error|A network error (^0) has occurred."},
    {20486, "Tessaline Error|An internal Tessaline error (^0) has occurred."},
    {20487, "Resource Error|A resource error (^0) has occurred."},
    {20488, "Windows Error|A Windows error (^0) has occurred."},
    {20489, "Graphics Error|An unexpected graphics error has occurred.|"},
    {20581,
     "Unexpected Error|Tessaline has encountered an unexpected error.|Please note the code shown "
     "below and report it to Tessaline technical support."},
    {20582,
     "Oops!|The requested feature has not yet been implemented.|We'll get to it just as soon as we "
     "can. Stay tuned!"},
    {20583,
     "Low Memory|A memory allocation request failed.|Tessaline may be running low on memory. If "
     "you are working with large structures, try closing some windows or removing thumbnails from "
     "the Overview window."},
    {20584, "Out of Memory|Tessaline has run out of memory.|Tessaline will now quit."},
    {20585,
     "Failed to Load Resource|Tessaline could not load resource data.|Please check that the "
     "application was correctly installed."},
    {20587,
     "Failed to Load Version Resource|Tessaline could not find its version information.|Please "
     "check that the application was correctly installed and try again."},
    {20781, "Initialisation cancelled.|Startup of Tessaline was cancelled.|"},
    {20782,
     "Initialisation failure.|Tessaline could not be started.|Please check that the application "
     "was correctly installed and try again."},
    {20786,
     "File Association Cancelled|You cancelled the File Association dialog.|The file associations "
     "were not modified."},
    {20787,
     "File Association Failed|Tessaline could not perform the required operation (error code "
     "^0).|The file associations were not modified."},
    {20790,
     "Unexpected Error|An unexpected internal error has occurred.Tessaline will now quit.|Please "
     "note the code shown below and report it to Tessaline technical support."},
    {20792,
     "Cannot Find Application Data|Unable to locate the Tessaline application data "
     "folder.|Tessaline will not be able to access necessary data files. Please check that your "
     "system is installed properly."},
    {20793,
     "Cannot Open Dialog|Unable to open dialog window.|A serious internal error has occurred, and "
     "the requested dialog window cannot be opened. Please check that the application was "
     "correctly installed and try again."},
    {20794,
     "Unexpected Error|Unable to open document.|Tessaline was unable to open the specified "
     "document."},
    {20795,
     "Unexpected Error|Unable to open help file.|The on-line help file you requested could not be "
     "found or opened. Please check that the application was correctly installed and try again."},
    {20797,
     "Cannot Open Window|Unable to open a new window.|Tessaline was unable to create a new window. "
     "Please check that the application was correctly installed and try again."},
    {20798,
     "Initialisation Error|Unable to create Toolbar.|A serious internal error has occurred, and "
     "Tessaline cannot be started. Please check that the application was correctly installed and "
     "try again."},
    {20801,
     "Cannot Open Tutorial|Unable to open the Tutorial.|The Tessaline Tutorial is a PDF document "
     "and you may need to install Adobe Reader, which you can download for free by clicking "
     "OK.\n\nIf you already have Adobe Reader installed, try re-installing the User’s Guide."},
    {20802,
     "Cannot Open Tutorial|Unable to locate the Tutorial.|The Tessaline Tutorial was not found. "
     "Please try re-installing it."},
    {20803,
     "Check for Update|Unable to check for update.|There was a problem making an Internet "
     "connection. Please check that you are connected to the Internet and try again."},
    {20804,
     "Check for Update|Unable to complete check for update.|Problems occurred whilst checking for "
     "an update. Would you like to to visit the updates page of the Tessaline website instead?"},
    {20805,
     "Cannot Open User’s Guide|Unable to open the User’s Guide.|The Tessaline User’s Guide is a "
     "PDF document and you may need to install Adobe Reader, which you can download for free by "
     "clicking OK.\n\nIf you already have Adobe Reader installed, try re-installing the User’s "
     "Guide."},
    {20806,
     "Cannot Open User’s Guide|Unable to locate the User’s Guide.|The Tessaline User’s Guide was "
     "not found. Please try re-installing it."},
    {20807,
     "Invalid Operating System|Your operating system is too old to run Tessaline.|Tessaline for "
     "Windows requires at least Windows XP to run."},
    {20881,
     "Copy Graphics Error|Unable to copy image.|The specified image may be too large. Try reducing "
     "the size of the image."},
    {21081,
     "Invalid Data|Invalid line in ASF file.|Input line %d in the ASF data file contains invalid "
     "data or is incorrectly formatted. Input has been stopped."},
    {21082,
     "File Not Found|Unable to locate ASF data file.|The file '%s' could not be found. Please "
     "check the path and try again."},
    {21083,
     "File Error|Unable to open ASF data file.|The atomic scattering factors data file '%s' could "
     "not be opened. Please make sure no other application is using it and try again."},
    {21084,
     "Invalid Data|File has invalid header information.|The data file does not appear to be a "
     "valid Tessaline file. The file may be damaged."},
    {21085,
     "Invalid Data|File has invalid version number.|The data file does not contain a valid "
     "Tessaline version number. The file may be damaged."},
    {21086,
     "File Input Error|Unable to read image file.|The image file you selected cannot be read. "
     "Please try another."},
    {21087,
     "Invalid Data|Unable to convert file data.|Tessaline was unable to read the contents of the "
     "file correctly. The file may be damaged."},
    {21088,
     "Invalid File|File data appear to have been corrupted.|The contents of this file have been "
     "modified since it was generated by Tessaline and will not be read. The file may be damaged."},
    {21089,
     "Invalid Data|Input data out of range.|An unexpected value was read from the file. The file "
     "may be damaged."},
    {21090,
     "End of File|Unexpected end of input file.|The file Tessaline was reading appears to be "
     "incomplete. The file may be damaged."},
    {21091,
     "File Format Error|This file does not appear to be in the %s format.|Do you wish to continue "
     "importing it using the %s format anyway?|Yes|No"},
    {21092,
     "Invalid Data|No atoms in data file.|Tessaline cannot read this file, as it contains no atom "
     "data."},
    {21093,
     "Error Reading File.|Unexpected error reading file.|Tessaline encountered an error whilst "
     "reading this file. The file may be damaged."},
    {21094,
     "Opening Many Files|You are about to open %ld files.|Opening this many files could take a "
     "long time.|Continue|Cancel"},
    {21095,
     "File Map Error|Unable to read file.|The internal structure of the file is invalid. The file "
     "may be damaged."},
    {21096,
     "Invalid Data|Conflicting lattice type information.|The lattice type specified in this file "
     "does not seem to be consistent with the specified spacegroup or symmetry information. You "
     "may wish to verify the validity of the structure."},
    {21097,
     "Invalid Data|Conflicting symmetry information.|The spacegroup symbol specified in this file "
     "does not seem to correspond to the specified list of symmetry operators. The spacegroup will "
     "be derived from the GEPs."},
    {21098,
     "Incomplete Data|Missing symmetry information.|This file does not contain a list of symmetry "
     "operators or a valid spacegroup symbol. A default spacegroup of P1 will be used instead."},
    {21100,
     "Unexpected File Error|Cannot create the file.|An error occurred trying to create or open a "
     "file of the requested type."},
    {21101,
     "Insufficient Disc Space|Not enough room on the specified volume.|The requested operation "
     "requires %.1f megabytes; %.1f megabytes are available on the specified volume. Please select "
     "another volume or free up some space."},
    {21102, "File Not Found|Unable to locate file.|The specified file could not be found."},
    {21103, "Error Opening File|Unable to open file.|The specified file could not be opened."},
    {21104,
     "Error Opening File|Unable to open files.|%d of the specified files could not be opened."},
    {21105,
     "Unsupported Format|Obsolete Tessaline file.|The Tessaline data file you have selected uses a "
     "format that is no longer supported."},
    {21106,
     "Unsupported Format|Obsolete Tessaline file.|The Tessaline data file you have selected uses a "
     "format that is no longer supported. Try opening the file in Tessaline 5 and re-saving it."},
    {21107,
     "Unsupported Format|Obsolete Tessaline file.|The Tessaline data file you have selected uses a "
     "format that is no longer supported."},
    {21108,
     "Invalid File Name|Unable to locate file.|At least one of the selected files could not be "
     "found."},
    {21109,
     "File Error|Unexpected error reading file.|Tessaline encountered an error (%d) whilst reading "
     "this file. The file may be damaged."},
    {21110,
     "Invalid File Name|Unrecognised or missing file extension.|Tessaline files must be saved with "
     "a valid extension. Use one of the extensions listed in the Save As Type menu."},
    {21111,
     "Invalid File Name|Files must have extensions.|When saving a file, you must supply a valid "
     "Tessaline file extension."},
    {21112,
     "File Output Error|String too long.|The Tessaline file could not be saved because some text "
     "was too long."},
    {21113,
     "Too Much Data|Too many atoms.|This file specifies more atoms than Tessaline can process. Try "
     "a file with fewer atoms."},
    {21114,
     "Error Writing File|File is too long.|The Tessaline file being written is too large. Delete "
     "some data and try saving again."},
    {21115,
     "Unsupported Format|Unable to read this file.|The file was created with a newer version of "
     "Tessaline than this one and cannot be read."},
    {21116,
     "Unsupported Format|Unsupported file type.|%d files were of a type not recognised by "
     "Tessaline and were not read."},
    {21117,
     "Unsupported Format|Unsupported file type.|The file '%s' is of a type not recognised by "
     "Tessaline."},
    {21181,
     "Invalid Data|Value out of range.|Please enter a value between %s and %s. The previous value "
     "has been restored."},
    {21182,
     "Invalid Data|Invalid characters.|You entered one or more invalid characters. The previous "
     "value has been restored."},
    {21381,
     "Preferences|Error reading preferences.|Some of your preferences could not be read and have "
     "been set to default values."},
    {21383,
     "Preferences|Incompatible preferences.|This version of Tessaline is not able to read the "
     "current saved preferences. Tessaline will continue with default preferences."},
    {21384,
     "Preferences|Unable to open the Preferences dialog.|Please check that the application was "
     "correctly installed and try again."},
    {21481,
     "Initialisation Error|Unable to initialise a list control|The requested operation failed "
     "because a list control could not be initialised. Please check that the application was "
     "correctly installed and try again."},
    {21581,
     "Invalid Path|Unable to open '%s'.|The item specified by the path could not be opened; the "
     "item may have been moved or deleted, or an application not available on your computer may be "
     "required."},
    {21582,
     "Invalid URL|Unable to open <%s>.|The URL could not be resolved; the document may have been "
     "moved or deleted, resolution may require an application not available on your computer, or "
     "you may not be connected to the Internet."},
    {21583,
     "Internal Error|An unexpected error has occurred|Please note the code shown below and report "
     "it to Tessaline technical support."},
    {21585,
     "Invalid Operation|An illegal operation has occurred.|A singular matrix has been generated "
     "during a calculation."},
    {22829,
     "Invalid Data|Invalid atomic displacement parameter.|This structure contains one or more "
     "invalid atomic displacement parameters. These data have been discarded for the affected "
     "sites. Please open this structure in VarnholtWerk to determine the problem."},
    {22830,
     "Invalid Data|The spacegroup symbol '%s' is invalid.|A spacegroup of '%s' will be used "
     "instead. Please check the spacegroup using the Edit Crystal dialog."},
    {22831,
     "Invalid Data|Syntax error in CIF file.|One or more data values are missing from the loop "
     "statement containing\n'%s'.\nPlease check the file for correctness."},
    {22832,
     "Invalid Data|Syntax error in CIF file.|One or more data values are missing from the loop "
     "that begins with the item '%s'.\nPlease check the file for correctness."},
    {22833,
     "Invalid Data|Unknown spacegroup symbol %d.|A spacegroup of '%s' will be used instead. Please "
     "check the spacegroup using the Edit Crystal dialog."},
    {22834,
     "Invalid Data|Error reading CIF.|Unable to read CIF data; please check your file. Error "
     "occurred at:\nItem: '%s'\nData: '%s'"},
    {22835,
     "Invalid Data|Too many command items in CIF file.|The maximum number of command items in a "
     "given loop has been exceeded."},
    {22836,
     "Invalid Data|Unexpected item encountered.|An unexpected item ('%s') was encountered when "
     "reading the CIF data; please check the file for correctness."},
    {22837,
     "Invalid Data|No data in file.|The specified file does not appear to contain any data."},
    {22838,
     "Invalid Data|Molecule files not permitted.|Diffraction simulation cannot be performed on "
     "molecule data files."},
    {22839,
     "Invalid Data|Incorrect number of atoms in file.|The number of atom data records does not "
     "equal the number expected; the file may be damaged."},
    {22840,
     "Invalid Data|Incorrect number of atoms per site.|The number of atoms per site does not equal "
     "the number expected; the file may be damaged."},
    {22841,
     "Invalid Data|Incorrect number of ellipsoids in file.|The number of ellipsoid data records in "
     "the file does not match number of sites; the file may be damaged."},
    {22842,
     "Unsupported Format|Unable to read Tessaline file.|The Tessaline session file you have "
     "selected uses a format that is not supported by Tessaline for Windows. Try opening the file "
     "in Tessaline version 5 for Mac and re-saving it."},
    {22843,
     "Insufficient Data|Too few points to export.|The pattern contains too few points to be able "
     "to export a profile listing."},
    {22844,
     "Invalid Data|Invalid *COUNT block.|The *COUNT tag was not followed by a valid integer "
     "value."},
    {22845,
     "Invalid Data|Measurement range specification is invalid.|The specified start, stop, or step "
     "value is invalid, or does not correspond to the number of data points supplied."},
    {22846, "Invalid Data|Invalid *START block.|The *START tag was not followed by a valid value."},
    {22847, "Invalid Data|Invalid *STEP block.|The *STEP tag was not followed by a valid value."},
    {22848, "Invalid Data|Invalid *STOP block.|The *STOP tag was not followed by a valid value."},
    {22849,
     "Invalid Data|Invalid dataset specification.|One or more of the required data blocks (*START, "
     "*STEP, *STOP, *COUNT) was not specified correctly."},
    {22850,
     "Invalid Data|Invalid data value.|An invalid or missing measurement value was encountered "
     "during input; the file may be damaged."},
    {22851,
     "Invalid Data|Incorrect number of temperature factors.|The number of temperature factors in "
     "this file does not match the number of sites; the file may be damaged."},
    {22852,
     "Invalid Data|Expected data not found.|TheTessaline session file '%s' seems to be missing "
     "data; the file may be damaged."},
    {22853,
     "Invalid Data|Incorrect number of patterns.|The number of patterns reported in the file does "
     "not match the number of patterns read; the file may be damaged."},
    {22854,
     "Invalid Data|Expected data not found.|TheTessaline session file '%s' seems to be missing "
     "pattern information; the file may be damaged."},
    {22855,
     "Invalid Data|Expected data not found.|TheTessaline session file '%s' seems to be missing "
     "plot specification information; the file may be damaged."},
    {22856,
     "Invalid Data|Unknown pattern type.|TheTessaline session file '%s' contains an invalid "
     "pattern type identifier; the file may be damaged."},
    {22857,
     "Saving Session|%d patterns have not been calculated yet.|They will be calculated before the "
     "session is saved, so that it opens with their curves.|Continue|Cancel|Continue"},
    {22858,
     "Saving Session|%d patterns have not been calculated yet.|They will be calculated before the "
     "session is saved, so that it opens with their curves. This may take some time."
     "|Continue|Cancel|Continue"},
    {22859,
     "Saving Session|The pattern '%s' has not been calculated yet.|It will be calculated before "
     "the session is saved, so that it opens with its curve.|Continue|Cancel|Continue"},
    {22860,
     "Invalid Data|Expected data not found.|TheTessaline session file '%s' seems to be missing "
     "window state information; the file may be damaged."},
    {22861,
     "Invalid Data|Too few anisotropic temperature parameters.|Seven parameters are required to "
     "specify anisotropic temperatures. Please check your file."},
    {22862,
     "Invalid Data|Invalid site occupancy.|A site occupancy specification in the file contains "
     "invalid data. Please check your file."},
    {22863,
     "Invalid Data|Too few isotropic temperature parameters.|Two parameters are required to "
     "specify isotropic temperatures. Please check your file."},
    {22864,
     "Invalid Data|Invalid control card encountered.|Tessaline requires that all control cards in "
     "a Tessaline text file use uppercase characters."},
    {22865,
     "Invalid Data|Missing lattice parameters.|Thermal ellipsoid data requires lattice parameters, "
     "which appear to be missing. Please check your file."},
    {22867,
     "No Helper Application|Unable to find the visualisation helper application.|Tessaline was "
     "unable to locate %s (%s). Would you like to browse for it?"},
    {22868,
     "No Helper Application|Unable to find the visualisation helper application.|Tessaline was "
     "unable to locate %s. Please make sure you have installed %s correctly and have permission to "
     "run it."},
    {22869,
     "Error Transferring Data|Unable to create temporary file.|Tessaline was unable to create the "
     "temporary file necessary to transfer structure data for visualisation.\n\nTry saving the "
     "file yourself and opening it directly using %s."},
    {22870,
     "Helper Application Error|Unable to start the visualisation helper application.|Tessaline was "
     "unable to start %s. Please make sure you have installed it correctly and have permission to "
     "run it."},
    {22871,
     "Invalid Data|Unable to link with visualisation helper application.|The data will be sent, "
     "but %s will not respond to changes made to the structure in Tessaline."},
    {22872,
     "Error Transferring Data|Unable to transfer structure data.|Tessaline was unable to transfer "
     "crystal structure data to the visualisation helper application.\n\nTry saving the file "
     "yourself and opening it directly using %s."},
    {22880,
     "Invalid Data|Impossible unit cell.|A crystal's cell lengths must lie between 0.1 and "
     "100000 Angstrom and its angles between 0 and 180 degrees, together making a cell of "
     "positive volume. This file gives a = %s, b = %s, c = %s, alpha = %s, beta = %s, "
     "gamma = %s."},
    {22881, "Invalid Data|Invalid number in file.|The %s of site '%s' is not a finite number."},
    {22882,
     "Invalid Data|Impossible occupancy.|The occupancy of %s on site '%s' is %s; an occupancy "
     "must lie between 0 and 10."},
    {22929,
     "Out of Memory|Too many reflexions.|Tessaline was unable to allocate enough memory for the "
     "reflexions list."},
    {22930,
     "Invalid Range|No reflexions found in range.|The specified wavelength may have been too "
     "large; try using a shorter wavelength."},
    {22931,
     "Invalid Data|Missing scattering factor data.|Cannot find atomic scattering factor values for "
     "the following atom type(s) in this structure:\n\n%s"},
    {22932,
     "Many Reflexions|Do you really want to calculate %1.f million reflexions?|You may truncate to "
     "a reasonable number (%.1f million).|Continue|Truncate"},
    {22933,
     "Invalid Range|X min >= X max.|The X-axis range limits are being reset because the specified "
     "minimum is not less than the specified maximum."},
    {22934,
     "Too Many Reflexions|This calculation needs %.1f million reflexions.|They would take about "
     "%.1f GB of memory, more than the %.1f GB allowed. Raise the minimum d-spacing or restrict "
     "the number of reflexions."},
    {23029,
     "Apply Preferences|Apply current preferences to the active window?|Your saved preferences "
     "settings will be applied to the frontmost window, and any patterns will be replotted. Plot "
     "type, wavelength, profiles, etc. may change.|Continue|Cancel|Continue"},
    {23030,
     "Invalid Data|Invalid displacement parameters for site %s|Please change the Uij (anisotropic) "
     "value, or choose a different parameter type."},
    {23031,
     "Invalid Data|Invalid displacement parameters for site %s|Please change the Uiso (isotropic) "
     "value, or choose a different parameter type."},
    {23032,
     "Invalid Data|Invalid spacegroup.|Please enter a valid spacegroup symbol in the Spacegroup "
     "box."},
    {23034,
     "Diffraction Window Error|Unable to open the Diffraction window.|Please check that the "
     "application was correctly installed and try again."},
    {23035,
     "Invalid Data|Invalid site occupancy.|The site occupancy specification you entered contains "
     "invalid characters. Please correct it."},
    {23036,
     "Invalid Data|Invalid site occupancy.|The sum of the site occupancy ratios must be 1.0. "
     "Please correct your entry."},
    {23037,
     "Zoom Limit Reached|The requested magnification will have no significant effect.|You can zoom "
     "back out by clicking with the Magnifier tool while holding down the Alt key."},
    {23129, "Invalid Indices|No reflexion found at (%d %d %d) for this pattern."},
    {23130,
     "Invalid Data|Invalid Miller indices for peak.|At least one Miller index must be non-zero."},
    {23229,
     "Parameters Pane Error|Insufficient memory for parameters list.|There is not enough memory "
     "available for the Parameters window to display the parameters for the selected plot."},
    {23329,
     "Invalid Data|Invalid plot range.|The range of values you entered does not form a valid plot "
     "range. The previous values have been restored."},
    {23529,
     "Unexpected Error|Unable to open the Scattering Factors window.|An error occurred whilst "
     "opening the Scattering Factors window. Atomic scattering factors cannot be displayed."},
    {23629,
     "Plotting Patterns|You are adding a large number of patterns to the plot. Are you sure want "
     "to do this?|This operation could take a long time.|Continue|Cancel"},
    {23630,
     "Removing Patterns|Are you sure you want to discard all diffraction patterns?|All patterns "
     "will be deleted from this session.|Continue|Cancel"},
    {23631,
     "Removing Patterns|Are you sure you want to discard the selected diffraction patterns?|The "
     "selected patterns will be deleted from this session.|Continue|Cancel|Continue"},
    {23632,
     "Removing Patterns|Are you sure you want to discard all unplotted diffraction patterns?|The "
     "unplotted patterns will be deleted from this session.|Continue|Cancel"},
    {23633,
     "Pattern Error|One or more pattens could not be added to the plot.|Please verify that the "
     "data in the source file are correct."},
    {23634,
     "Invalid Mixture|Cannot create mixtures with other mixtures.|A new mixture cannot contain "
     "another mixture. Please remove any mixtures from your selection."},
    {23635,
     "Patterns Pane Error|Insufficient memory for patterns list.|There is not enough memory "
     "available for the Patterns pane to display the list of patterns."},
    {23636,
     "Invalid Mixture|Cannot create nested mixtures.|A new mixture cannot be created within "
     "another mixture. Please choose patterns that are not part of a mixture."},
    {23729,
     "Scattering Factor Mismatch|Error matching atomic scattering factors!|No atomic scattering "
     "factor data for element symbols provided were found."},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const StringEntry& a, const StringEntry& b) { return a.id < b.id; }));

}  // namespace

std::string_view ResourceString(unsigned id) {
  const auto* found = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                       [](const StringEntry& e, unsigned value) { return e.id < value; });
  return found != std::end(kStrings) && found->id == id ? found->text : std::string_view();
}
