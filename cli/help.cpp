#include "cli/help.h"

#include "cli/batch_inputs.h"
#include "crystal/vector.h"
#include "errors/exception.h"
#include "patterns/plot_spec.h"

namespace {

struct CCommandHelp {
  const char* name;
  const char* synopsis;  // the arguments after the command's name
  const char* summary;   // one line for the overview
  std::string (*details)();
};

// The options of every calculating command, with the defaults of the built-in settings.
std::string CalculationOptions() {
  const CPlotSpec plot = CPlotSpec::BuiltIn();
  return Formatted(
      "Calculation options:\n"
      "  --radiation xray|neutron|edx|tof|electron   the radiation (default xray)\n"
      "  --wavelength A        X-ray or neutron wavelength in Angstrom (default %.4f); for "
      "electrons the\n"
      "                        electron wavelength (default %.6f); not for edx or tof\n"
      "  --anode Cr|Fe|Co|Cu|Mo|Ag   X-ray K-alpha-1, K-alpha-2 and their ratio of that tube\n"
      "  --voltage KV          electron beam voltage in kV, instead of --wavelength\n"
      "  --axis 2theta|d|1/d|tof|energy|2pi/d   the x axis (default: 2theta; energy for edx, tof "
      "for tof,\n"
      "                        1/d for electrons); tof and energy only with their radiation\n"
      "  --dmin A              smallest d-spacing in Angstrom (default %.2f; never below half the\n"
      "                        wavelength on angle and reciprocal axes)\n"
      "  --max-reflexions N    keep the N reflexions of largest d (default %d; 0 lifts the cap)\n"
      "  --no-adp              leave the displacement parameters out\n"
      "  --po plates|needles   preferred orientation, with --po-vector U,V,W (default 0,0,1),\n"
      "                        --po-type normal|lattice (plane normal hkl or direction uvw, "
      "default normal)\n"
      "                        and --po-alignment 0..1 (default 0.9)\n"
      "  --edx-theta RAD       edx detector angle theta in radians (default %.5f)\n"
      "  --tof-theta RAD       tof detector angle theta in radians (default %.2f)\n"
      "  --tof-distance M      tof flight path in metres (default %g)\n",
      plot.Lambda(), plot.LambdaTEM(), plot.DMin(), plot.MaxNumRefs(), plot.EDXTheta(),
      plot.TOFTheta(), plot.TOFDistance());
}

std::string InfoDetails() {
  return "Describes crystal files (cell, volume, density, space group, sites with their species,\n"
         "positions, multiplicities and displacement) and observed-data files (points, x and y "
         "ranges), and lists the patterns of session files (.tessaline, .diffract, .tsdf) with "
         "their kind,\n"
         "plotted flag and title, a mixture's components under it with their fractions.\n"
         "A CIF with several structures is described structure by structure.\n\n"
         "Examples:\n"
         "  tessaline-cli info examples/quartz.cif\n"
         "  tessaline-cli info examples/quartz.cif examples/quartz-scan.xy\n";
}

std::string ConvertDetails() {
  return "Writes the crystal structure of IN as a CIF (.cif) or text crystal file (.vhtx), by the\n"
         "extension of OUT. OUT may not be IN. A CIF with several structures gives one file each,\n"
         "named OUT with the structure's name added.\n\n"
         "Examples:\n"
         "  tessaline-cli convert examples/quartz.cif quartz.vhtx\n"
         "  tessaline-cli convert structure.vhdf structure.cif\n";
}

std::string ListingDetails(const char* what, const char* command) {
  return std::string("Calculates each crystal file and lists ") + what +
         ", one block per structure, on the\n"
         "standard output or in the file of -o OUT (which may not be an input). A session file "
         "lists its\n"
         "crystal patterns, calculated with its settings (changed by the options).\n\n" +
         CalculationOptions() +
         "\nExamples:\n"
         "  tessaline-cli " +
         command +
         " examples/quartz.cif\n"
         "  tessaline-cli " +
         command + " examples/quartz.cif --radiation neutron --wavelength 1.8 -o listing.txt\n";
}

std::string ReflexionsDetails() {
  return ListingDetails("its reflexions (h k l, d, 2-theta, intensity, multiplicity, Lp)",
                        "reflexions");
}

std::string StructureFactorsDetails() {
  return ListingDetails("its structure factors (h k l, d, phase, Lp, F, intensity)",
                        "structure-factors");
}

// The options of the commands that make whole patterns (simulate, plot, batch): profile, mixing
// and observed data, with the defaults of `plot`. `sizeOption` names the crystallite-size option
// as the command spells it; `mix` says whether the command mixes its inputs.
std::string PatternOptions(const char* sizeOption, const CPlotSpec& plot = CPlotSpec::BuiltIn(),
                           bool mix = true) {
  return Formatted(
             "Profile:\n"
             "  --range MIN:MAX       the x range in the axis unit (default %g:%g)\n"
             "  --points N            points of the profile (default %llu)\n"
             "  --profile delta|gaussian|lorentzian|pseudo-voigt   peak shape (default gaussian)\n"
             "  --eta E               Lorentzian share of pseudo-voigt, 0..1 (default %g)\n"
             "  --width W             instrument's full width at half maximum in the radiation's "
             "unit:\n"
             "                        degrees 2-theta (default %g), keV for edx (default %g), "
             "delta-d/d for\n"
             "                        tof (default %g), 1/A for electrons (default %g)\n"
             "  --ka2                 add the K-alpha-2 line (X-rays), with --wavelength2 A "
             "(default %.5f)\n"
             "                        and --ratio R, K-alpha-1 to K-alpha-2 (default %g)\n"
             "  %-21s crystallite size in Angstrom (default 10000)\n"
             "  --strain E            isotropic strain, 0..1 (default 0)\n%s\n"
             "Observed data:\n"
             "  --scale-x F           multiply the x values by F\n"
             "  --smooth RADIUS       triangular moving average over RADIUS data points either "
             "side (the\n"
             "                        radius counts points, not x units; at most a third of the "
             "points)\n"
             "  --background auto     subtract a flat background at the smallest intensity\n"
             "  --background X:Y,...  subtract a smooth background through the points (x "
             "rising)\n\n",
             plot.XMin(), plot.XMax(), static_cast<unsigned long long>(plot.ProfilePoints()),
             plot.Eta(), plot.TTHPeakWidth(), plot.EDXPeakWidth(), plot.TOFResolution(),
             plot.PeakWidthTEM(), plot.Lambda2(), plot.LambdaRatio(),
             std::string(sizeOption) + " A",
             mix ? "  --mix F1,F2,...|equal one mixture of the inputs, with these fractions in "
                   "input order (not\n"
                   "                        rebalanced; they need not add up to 1), or equal "
                   "ones\n"
                 : "") +
         CalculationOptions();
}

std::string SimulateDetails() {
  return std::string(
             "Simulates the powder pattern of each crystal file (each structure of a CIF) and "
             "writes its\n"
             "profile; observed-data files (.dat, .xy, .xye, Rigaku .asc/.rint, profile files) are "
             "written on\n"
             "the same grid. No input is ever written over.\n\n"
             "Output:\n"
             "  -o OUT                the profile of a single pattern; with several, OUT's name "
             "with each title\n"
             "                        added; '-' the standard output. Without -o: "
             "TITLE-profile.txt\n"
             "                        The extension chooses the format: .xy two columns under '#' "
             "lines, .xye\n"
             "                        with the errors of observed data, .csv with a header row, "
             "any other the\n"
             "                        profile file. Two outputs of one run never share a name: a "
             "repeated\n"
             "                        name gets -2, -3 (and a note)\n"
             "  --out-dir DIR         write the outputs into DIR, creating it\n"
             "  --summary             print the ten strongest peaks within the range\n"
             "  --peaks FILE.csv      the peak table: h, k, l, d, position, intensity, relative "
             "intensity,\n"
             "                        multiplicity, for the reflexions within the range\n"
             "  --reflexions OUT      the reflexion listing of the crystal files\n"
             "  --structure-factors OUT   the structure-factor listing\n"
             "  With --mix the mixture's profile goes to -o, or to mixture-profile.txt\n"
             "  --save-session FILE.tessaline   every pattern of the run (the mixture too) and the "
             "settings,\n"
             "                        as a session the desktop application opens\n\n"
             "Sessions (.tessaline, .diffract, .tsdf) as inputs: the profile of every pattern the "
             "session\n"
             "plots, named by its title. The run's settings start from the first session's, and "
             "the "
             "options\n"
             "change them; a session's crystals keep their own sample settings.\n\n") +
         PatternOptions("--size") +
         "\nExamples:\n"
         "  tessaline-cli simulate examples/quartz.cif -o quartz.xy --summary\n"
         "  tessaline-cli simulate examples/quartz.cif --anode Co --profile pseudo-voigt --eta 0.3 "
         "--range 10:90 "
         "--peaks peaks.csv\n";
}

// The profile settings a batch run starts from.
CPlotSpec BatchDefaults() {
  CPlotSpec plot = CPlotSpec::BuiltIn();
  plot.SetXRange(kBatchXMin, kBatchXMax);
  plot.SetProfilePoints(kBatchPoints);
  return plot;
}

std::string BatchDetails() {
  return std::string(
             "Simulates the powder pattern of every structure of many crystal files on every core, "
             "for search-match\n"
             "libraries and machine-learning data sets. Each file is worked out alone; a file that "
             "cannot be read\n"
             "or calculated is marked and the run goes on.\n\n"
             "Inputs (in this order):\n"
             "  FILE...               crystal files\n"
             "  --list FILE           one path a line (as seen from the working folder); blank "
             "lines and lines\n"
             "                        starting with # are skipped\n"
             "  --dir DIR             every crystal file under DIR (recursively, sorted): by "
             "a crystal format's\n"
             "                        extension (cif, vhtx, vhdf, ...), or by its content when no "
             "format claims\n"
             "                        its extension\n"
             "  --shard K/N           only every N-th input from the K-th (K counts from 0), for "
             "one task of a\n"
             "                        job array; N shards together make the whole run\n\n"
             "Output (in --out DIR, created when missing):\n"
             "  --format LIST         profiles, npz, hdf5 and csv, comma-separated (default "
             "profiles):\n"
             "                        profiles: one profile file per structure, as simulate "
             "writes it\n"
             "                        (TITLE-profile.txt; repeated names get -2, -3)\n"
             "                        npz: patterns.npz for NumPy: x (float64, the grid), "
             "intensity (float32,\n"
             "                        one row per structure in input order; NaN for an input "
             "without a\n"
             "                        result), names (the input's path, with #TITLE for a file "
             "of several\n"
             "                        structures) and status (int8: 0 ok, 1 refused, 2 timed "
             "out); below 4 GB\n"
             "                        hdf5: patterns.h5, the same datasets (names as UTF-8 "
             "strings), the\n"
             "                        intensity matrix chunked and deflate-compressed; no size "
             "limit\n"
             "                        csv: peaks.csv, one row per reflexion in range: input, "
             "structure, h, k, l,\n"
             "                        d, position, intensity relative to the structure's "
             "strongest\n"
             "  --peaks-only          the peak table alone (--format csv)\n"
             "  status.tsv is always written: one row per input with its path, status (ok, "
             "refused, timed out),\n"
             "  reflexions in range, seconds, warnings met and the message of a refused input.\n\n"
             "Running:\n"
             "  --threads N           inputs worked out at once (default: the number of cores)\n"
             "  --timeout SECONDS     give up a file whose reading and calculation take longer: "
             "its calculation\n"
             "                        stops soon after, and its row says timed out\n"
             "  --resume              go on with an interrupted run in the same --out with the "
             "same options:\n"
             "                        the files of batch-manifest.tsv are not computed again\n"
             "  --mpi                 run as an MPI job (mpirun -np N tessaline-cli batch --mpi "
             "...): rank 0\n"
             "                        hands the inputs out one at a time and writes everything, "
             "the other\n"
             "                        ranks calculate, each on one core unless --threads N gives "
             "it more;\n"
             "                        the outputs are those of a run in one process\n"
             "  Ctrl-C stops after the files in work (a second one at once): the outputs and "
             "status.tsv are\n"
             "  written for the files finished, which are kept for --resume; the exit status is "
             "130.\n\n"
             "Defaults differ from simulate's: on the 2-theta axis the range is 5:90, and there "
             "are 4500 points;\n"
             "the wavelength is the built-in Cu K-alpha-1. Options override them as usual. The "
             "crystallite size\n"
             "is also --particle-size, as for plot.\n\n") +
         PatternOptions("--size", BatchDefaults(), false) +
         "\nExamples:\n"
         "  tessaline-cli batch --dir structures --out patterns --format npz,csv\n"
         "  tessaline-cli batch --list files.txt --out patterns --shard 3/16 --timeout 600\n"
         "  mpirun -np 64 tessaline-cli batch --mpi --dir structures --out patterns --format "
         "hdf5\n";
}

std::string PlotDetails() {
  return std::string(
             "Draws every input (crystal files, each structure of a CIF, and observed data) as one "
             "plot and\n"
             "writes it as a picture. Observed data are drawn as points with the calculated curves "
             "fitted over\n"
             "them (scale and constant background by least squares); without observed data the "
             "plot shows the\n"
             "calculated range, with them the range the data cover.\n\n"
             "Picture:\n"
             "  -o OUT.png|OUT.svg|OUT.pdf   the picture; the extension chooses the format (PNG "
             "image, SVG or\n"
             "                        PDF drawing with real text)\n"
             "  --size WxH            its size in pixels, each side 1 to 20000 (default "
             "1600x1000)\n"
             "  --dpi N               the resolution that text and lines are sized for (default "
             "192: the\n"
             "                        default picture looks like an 800x500 plot on a screen, "
             "twice as sharp)\n"
             "  --xrange MIN:MAX      the visible x range (default: the calculated range, or the "
             "data's)\n"
             "  --title TEXT          a title above the plot\n"
             "  --log                 logarithmic intensity axis\n"
             "  --grid                gridlines at the tick marks\n"
             "  --legend, --no-legend the list of curves at the top right (shown by default)\n"
             "  --labels N            label the N strongest peaks of each crystal pattern with "
             "their hkl;\n"
             "                        crowded labels are turned upright or left out, never "
             "overlapped\n"
             "  --ticks               a row of tick marks at the reflexions of each phase, under "
             "the curves\n"
             "  --difference          observed minus calculated under the curves (one observed "
             "input and a\n"
             "                        calculated one)\n"
             "  --stack               each curve above the next rather than on one baseline\n"
             "  --film                a simulated film: one band per pattern, its shade the "
             "intensity, with\n"
             "                        --film-type positive|negative|fire|ice|rainbow (default "
             "positive) and\n"
             "                        --gamma G, the contrast (default 1)\n"
             "  --ticks, --difference, --stack and --labels are for the graph; --ticks, "
             "--difference and\n"
             "  --stack need a linear intensity axis\n"
             "  --save-session FILE.tessaline   the plotted patterns and the settings as a "
             "session\n\n"
             "A session among the inputs adds the patterns it plots, in their own colours; the "
             "settings start\n"
             "from the first session's.\n\n") +
         PatternOptions("--particle-size") +
         "\nExamples:\n"
         "  tessaline-cli plot examples/quartz.cif -o quartz.png --range 5:90 --labels 8 --ticks\n"
         "  tessaline-cli plot examples/quartz-scan.xy examples/quartz.cif --difference --ticks -o "
         "fit.svg\n"
         "  tessaline-cli plot examples/quartz.cif tests/data/corundum.cif --mix 0.7,0.3 -o "
         "mixture.pdf\n";
}

std::string AsfDetails() {
  return "Writes the built-in table of scattering factors (X-ray coefficients, neutron lengths, "
         "weights)\n"
         "to FILE, or checks that a table file reads and says how many records it holds.\n\n"
         "Examples:\n"
         "  tessaline-cli asf --export tessaline.asf\n"
         "  tessaline-cli asf --check tessaline.asf\n";
}

std::string SpacegroupDetails() {
  return "Shows a space group of the built-in table: number, symbols, setting, origin, crystal "
         "system,\n"
         "lattice and its general positions. SYMBOL is a number (14), a Schoenflies symbol "
         "(C2h(5)) or a\n"
         "Hermann-Mauguin symbol in any usual spelling (P21/c, P 1 21/c 1), with an origin (F d -3 "
         "m :2) or\n"
         "the axes of a rhombohedral group (R -3 m :H, R -3 m :R; hexagonal without either or a "
         "cell).\n"
         "  --origin 1|2          the origin choice of a group with two\n"
         "  --cell a,b,c,alpha,beta,gamma   the cell, which decides the axes of a rhombohedral "
         "group\n"
         "  --list                the whole table, one setting a line\n\n"
         "Examples:\n"
         "  tessaline-cli spacegroup \"P 21/c\"\n"
         "  tessaline-cli spacegroup \"R -3 m :R\"\n";
}

std::string PreferencesDetails() {
  return "Shows and changes the preferences that the desktop application keeps (on Linux in\n"
         "~/.config/VarnholtWerk Software/Tessaline.conf, or under $XDG_CONFIG_HOME). Calculating\n"
         "commands start from them when given --use-preferences.\n"
         "  --list                every preference: key, type, save group and value\n"
         "  --get KEY             the value of one preference\n"
         "  --set KEY VALUE       change one preference. Values as --list shows them: true or "
         "false,\n"
         "                        numbers with a decimal point, colours as 0xAARRGGBB, rectangles, "
         "points\n"
         "                        and vectors as numbers separated by commas\n"
         "  --reset               write the factory defaults back\n\n"
         "Examples:\n"
         "  tessaline-cli preferences --set Lambda 1.78897\n"
         "  tessaline-cli --use-preferences simulate examples/quartz.cif -o quartz.xy\n";
}

constexpr CCommandHelp kCommands[] = {
    {"info", "FILE...", "describe crystal, observed-data and session files", InfoDetails},
    {"convert", "IN OUT", "write a crystal file as CIF or text crystal file", ConvertDetails},
    {"reflexions", "FILE... [-o OUT] [CALCULATION OPTIONS]", "list the reflexions of crystal files",
     ReflexionsDetails},
    {"structure-factors", "FILE... [-o OUT] [CALCULATION OPTIONS]",
     "list the structure factors of crystal files", StructureFactorsDetails},
    {"simulate", "FILE... [-o OUT|-] [OPTIONS]",
     "simulate powder patterns and resample observed data", SimulateDetails},
    {"batch", "[FILE...] [--list FILE] [--dir DIR] --out DIR [OPTIONS]",
     "simulate whole structure collections on every core, resumable", BatchDetails},
    {"plot", "FILE... -o OUT.png|OUT.svg|OUT.pdf [OPTIONS]",
     "draw patterns as a graph or a film, as a picture", PlotDetails},
    {"asf", "--export FILE | --check FILE", "write or check a scattering-factor table", AsfDetails},
    {"spacegroup", "SYMBOL [--origin 1|2] [--cell a,b,c,alpha,beta,gamma] | --list",
     "show a space group of the built-in table", SpacegroupDetails},
    {"preferences", "--list | --get KEY | --set KEY VALUE | --reset",
     "show or change the preferences of the desktop application", PreferencesDetails},
};

const CCommandHelp* Find(std::string_view command) {
  for (const CCommandHelp& help : kCommands)
    if (command == help.name) return &help;
  return nullptr;
}

}  // namespace

std::string OverviewHelp() {
  std::string text =
      "Usage: tessaline-cli [--quiet] [--legacy-rules] [--use-preferences] COMMAND [ARGUMENTS]\n"
      "       tessaline-cli COMMAND --help\n"
      "       tessaline-cli --help | --version\n\n"
      "Powder-diffraction patterns from crystal structures, and observed data on the same grid.\n\n"
      "Commands:\n";
  for (const CCommandHelp& help : kCommands)
    text += Formatted("  %-18s %s\n", help.name, help.summary);
  text +=
      "\nEvery command:\n"
      "  --quiet               leave out the warnings met while reading and calculating\n"
      "  --legacy-rules        the earlier rules for equivalent positions (images compared "
      "coordinate by\n"
      "                        coordinate within 0.00011, without wrap-around) and anisotropic "
      "displacement\n"
      "                        (one unrotated tensor for every image), to reproduce results "
      "computed with\n"
      "                        them; by default images within 0.05 A of each other are one atom "
      "and each\n"
      "                        image's displacement turns with it\n"
      "  --use-preferences     start from the preferences (see the preferences command) rather "
      "than the\n"
      "                        built-in defaults: radiation, instrument, sample, rules, memory "
      "budget and\n"
      "                        scattering factors; options still have the last word\n"
      "  --help                the command's options, units, defaults and examples\n\n"
      "Exit status: 0 success, 1 a command failed, 2 bad usage.\n";
  return text;
}

std::optional<std::string> CommandHelp(std::string_view command) {
  const CCommandHelp* help = Find(command);
  if (!help) return std::nullopt;
  return std::string("Usage: tessaline-cli ") + help->name + " " + help->synopsis + "\n\n" +
         help->details();
}

std::string ShortUsage(std::string_view command) {
  const CCommandHelp* help = Find(command);
  if (!help) return "Try 'tessaline-cli --help'.\n";
  return std::string("Usage: tessaline-cli ") + help->name + " " + help->synopsis +
         "\nTry 'tessaline-cli " + help->name + " --help' for its options.\n";
}
