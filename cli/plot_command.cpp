// tessaline-cli plot: every input (crystal files, observed data) drawn as one plot, a graph or a
// film, into a PNG, SVG or PDF picture.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <ostream>

#include "cli/arguments.h"
#include "cli/cli_document.h"
#include "cli/commands.h"
#include "cli/input_file.h"
#include "cli/pattern_options.h"
#include "cli/run_outputs.h"
#include "cli/session_inputs.h"
#include "diffraction/reflexion.h"
#include "errors/exception.h"
#include "files/session_file.h"
#include "gui/plot_picture.h"
#include "patterns/crystal_pattern.h"
#include "patterns/mixture_pattern.h"
#include "patterns/observed_pattern.h"
#include "plot/plot_renderer.h"
#include "plot/plotted_curves.h"
#include "plot/stacking.h"

namespace {

using namespace VHTypes;

constexpr int kLargestPicture = 20000;  // pixels along either side
constexpr int kFewestDpi = 24, kMostDpi = 2400;

struct CNamedFilm {
  const char* name;
  TSFilmType type;
};
constexpr CNamedFilm kFilms[] = {{"positive", kFilmPositive},
                                 {"negative", kFilmNegative},
                                 {"fire", kFilmFire},
                                 {"ice", kFilmIce},
                                 {"rainbow", kFilmRainbow}};

// Curve colours that print well and tell neighbouring curves apart.
constexpr CColour kFigureColours[] = {0xFF1F77B4, 0xFFD62728, 0xFF2CA02C, 0xFFFF7F0E,
                                      0xFF9467BD, 0xFF8C564B, 0xFFE377C2, 0xFF17BECF};

struct CPlotRequest {
  CPatternSettings patterns;
  std::string output;
  CPictureFormat format = CPictureFormat::kPng;
  CPictureSize size;
  CPlotDisplay display;
  CPlotOptions options;
  bool stack = false;
  bool xRangeGiven = false;
  std::optional<std::string> session;  // --save-session
};

std::vector<COptionSpec> OptionSpecs() {
  std::vector<COptionSpec> options = PatternOptionSpecs();
  for (const char* name : {"--film-type", "--gamma", "--title", "--labels", "--xrange", "--size",
                           "--dpi", "--save-session"})
    options.emplace_back(name, true);
  for (const char* name : {"--film", "--stack", "--log", "--grid", "--legend", "--no-legend",
                           "--ticks", "--difference"})
    options.emplace_back(name);
  options.emplace_back("--output", true, "-o");
  return options;
}

std::pair<double, double> XRange(const std::string& text) {
  const size_t colon = text.find(':');
  const auto low = colon == std::string::npos ? std::nullopt : ParseDouble(text.substr(0, colon));
  const auto high = colon == std::string::npos ? std::nullopt : ParseDouble(text.substr(colon + 1));
  if (!low || !high) throw CUsageError("--xrange needs MIN:MAX, not '" + text + "'");
  if (!(*low < *high)) throw CUsageError("--xrange needs MIN below MAX, not '" + text + "'");
  return {*low, *high};
}

CPictureSize PictureSize(const CArguments& args) {
  CPictureSize size;
  if (const auto text = args.Value("--size")) {
    const size_t x = Lowercase(*text).find('x');
    const auto width = x == std::string::npos ? std::nullopt : ParseInteger(text->substr(0, x));
    const auto height = x == std::string::npos ? std::nullopt : ParseInteger(text->substr(x + 1));
    const auto fits = [](const std::optional<long long>& side) {
      return side && *side >= 1 && *side <= kLargestPicture;
    };
    if (!fits(width) || !fits(height))
      throw CUsageError("--size needs WIDTHxHEIGHT in pixels, each from 1 to " +
                        std::to_string(kLargestPicture) + ", not '" + *text + "'");
    size.width = static_cast<int>(*width);
    size.height = static_cast<int>(*height);
  }
  if (const auto dpi = args.Integer("--dpi")) {
    if (*dpi < kFewestDpi || *dpi > kMostDpi)
      throw CUsageError("--dpi must lie between " + std::to_string(kFewestDpi) + " and " +
                        std::to_string(kMostDpi));
    size.dpi = static_cast<int>(*dpi);
  }
  return size;
}

CPlotDisplay DisplayFrom(const CArguments& args, const CPlotSpec& plotSpec) {
  CPlotDisplay display;
  display.fontName = "DejaVu Sans";
  display.xAxisName = plotSpec.XAxisTitle();
  display.xAxisUnit = plotSpec.XAxisUnit();
  display.intensityName = plotSpec.YAxisTitle();
  display.gridlines = args.Has("--grid");
  display.logarithmicY = args.Has("--log");
  if (args.Has("--legend") && args.Has("--no-legend"))
    throw CUsageError("--legend and --no-legend contradict");
  display.legend = !args.Has("--no-legend");
  if (const auto title = args.Value("--title")) {
    display.showTitle = true;
    display.title = *title;
  }
  display.film = args.Has("--film");
  if (!display.film && (args.Has("--film-type") || args.Has("--gamma")))
    throw CUsageError("--film-type and --gamma need --film");
  std::vector<std::string> names;
  for (const CNamedFilm& film : kFilms) names.emplace_back(film.name);
  if (const auto chosen = args.Choice("--film-type", names))
    for (const CNamedFilm& film : kFilms)
      if (*chosen == film.name) display.filmType = film.type;
  if (const auto gamma = args.Double("--gamma")) {
    if (!(*gamma > 0.0 && *gamma <= 100.0))
      throw CUsageError("--gamma must be positive and at most 100");
    display.filmGamma = *gamma;
  }
  display.xMin = plotSpec.XMin();
  display.xMax = plotSpec.XMax();
  if (const auto range = args.Value("--xrange"))
    std::tie(display.xMin, display.xMax) = XRange(*range);
  return display;
}

CPlotRequest RequestFrom(const CArguments& args) {
  CPlotRequest request;
  request.patterns = PatternSettingsFrom(args);
  const std::optional<std::string> output = args.Value("--output");
  if (!output) throw CUsageError("plot needs -o OUT.png, OUT.svg or OUT.pdf");
  const std::optional<CPictureFormat> format = PictureFormatOf(*output);
  if (!format) throw CUsageError("-o must name a .png, .svg or .pdf file, not '" + *output + "'");
  request.output = *output;
  request.format = *format;
  request.size = PictureSize(args);
  request.display = DisplayFrom(args, request.patterns.calculation.plotSpec);
  request.xRangeGiven = args.Has("--xrange");
  request.stack = args.Has("--stack");
  request.session = args.Value("--save-session");
  if (request.session == "-") throw CUsageError("--save-session needs a file name");
  if (const auto labels = args.Integer("--labels")) {
    if (*labels < 0 || *labels > 1000) throw CUsageError("--labels must lie between 0 and 1000");
    request.options.labelsPerPattern = static_cast<int>(*labels);
  }
  request.options.reflexionRows = args.Has("--ticks");
  request.options.difference = args.Has("--difference");
  // What only a linear graph can show.
  for (const auto& [option, asked] : {std::pair{"--stack", request.stack},
                                      {"--ticks", request.options.reflexionRows},
                                      {"--difference", request.options.difference},
                                      {"--labels", request.options.labelsPerPattern > 0}}) {
    if (asked && request.display.film)
      throw CUsageError(std::string(option) + " is for the graph, not --film");
    if (asked && request.display.logarithmicY && std::string(option) != "--labels")
      throw CUsageError(std::string(option) + " needs a linear intensity axis, not --log");
  }
  return request;
}

// The patterns of the inputs, calculated and processed, in input order, with the patterns a
// session shows; a failed input is reported and left out.
class CPlotInputs {
 public:
  CPlotInputs(const CPlotRequest& request, const CSessionInputs& sessions, std::ostream& err)
      : m_request(request),
        m_sessions(sessions),
        m_document(request.patterns.calculation.plotSpec, [this, &err](CTSPattern& pattern) {
          m_request.patterns.ApplyTo(pattern, err);
        }) {}

  bool Read(const std::string& input) {
    return WithInputFile(input, [&] {
      const CPatternList patterns = m_document.Add(input);
      if (!m_sessions.Holds(input)) {
        std::ranges::copy(patterns, std::back_inserter(m_patterns));
        return;
      }
      for (const auto& pattern : patterns) {
        if (!pattern->Plotted()) continue;
        m_patterns.push_back(pattern);
        m_styled.push_back(pattern.get());
      }
    });
  }

  // The list to draw: every pattern, or with --mix the mixture (its components inside it),
  // styled for a figure: measured data as dark open circles when there is something to compare
  // them with, a mixture's sum as a heavier black line, every other curve in its own colour. A
  // session's patterns keep the styles they were saved with.
  CPatternList Plotted() {
    const CPlotSpec& plotSpec = m_request.patterns.calculation.plotSpec;
    const bool compared = std::ranges::any_of(
        m_patterns, [](const auto& p) { return p->GetKind() != CTSPattern::kObserved; });
    size_t colour = 0;
    for (const auto& pattern : m_patterns) {
      if (std::ranges::find(m_styled, pattern.get()) != m_styled.end()) {
        pattern->Recalculate(plotSpec);
        continue;
      }
      pattern->SetPlotted(true);
      CCurveStyle& style = pattern->Style();
      if (pattern->GetKind() == CTSPattern::kObserved && compared) {
        style.colour = 0xFF303030;
        style.lineStyle = kLineNone;
        style.markerStyle = kMarkerCircle;
        style.markerSize = 3.0f;
      } else {
        style.colour = kFigureColours[colour++ % std::size(kFigureColours)];
      }
      if (pattern->GetKind() == CTSPattern::kCrystal && m_request.options.labelsPerPattern > 0) {
        CLabelOptions& labels = pattern->Labels();
        labels.show = labels.hkl = true;
        labels.threshold = 0.0;
        labels.colour = style.colour;
      }
      pattern->Recalculate(plotSpec);
    }
    if (!m_request.patterns.mix || m_patterns.empty()) return m_patterns;
    const std::shared_ptr<CTSMixturePattern> mixture =
        MixtureOfInputs(m_patterns, *m_request.patterns.mix);
    mixture->SetPlotted(true);
    mixture->Style().colour = 0xFF000000;
    mixture->Style().lineWidth = 1.5f;
    mixture->Recalculate(plotSpec);
    return {mixture};
  }

 private:
  const CPlotRequest& m_request;
  const CSessionInputs& m_sessions;
  CCliDocument m_document;
  CPatternList m_patterns;
  std::vector<const CTSPattern*> m_styled;  // the sessions' patterns
};

// Calculated curves laid over the first observed data, scaled and offset to fit them.
void ScaleToFirstData(const CPatternList& patterns, const CPlotSpec& plotSpec) {
  const auto observed = std::ranges::find_if(
      patterns, [](const auto& p) { return p->GetKind() == CTSPattern::kObserved; });
  if (observed == patterns.end()) return;
  for (const auto& pattern : patterns)
    if (pattern->GetKind() != CTSPattern::kObserved)
      ScaleToData(*pattern, static_cast<const CTSObservedPattern&>(**observed), plotSpec);
}

// Whether a pattern shows something within the visible range: data points there, or for a
// crystal reflexions (its curve is flat elsewhere).
bool ShowsSomething(const CTSPattern& pattern, const CPlotDisplay& display) {
  const auto within = [&](double x) {
    return x + pattern.XOffset() >= display.xMin && x + pattern.XOffset() <= display.xMax;
  };
  if (const CPatternList* components = pattern.Components())
    return std::ranges::any_of(
        *components, [&](const auto& component) { return ShowsSomething(*component, display); });
  if (const CTSCrystal* crystal = pattern.Crystal())
    return std::ranges::any_of(crystal->reflexions,
                               [&](const auto& reflexion) { return within(reflexion->position); });
  return std::ranges::any_of(pattern.ProfilePoints(false),
                             [&](const CProfilePoint& point) { return within(point.x); });
}

}  // namespace

int RunPlotCommand(std::span<const std::string> arguments, std::ostream&, std::ostream& err) {
  const CArguments args(arguments, OptionSpecs());
  if (args.Positionals().empty())
    throw CUsageError("expected one or more crystal or observed-data files");
  const CSessionInputs sessions(args.Positionals());
  CPlotRequest request = sessions.StartingFromFirst([&] { return RequestFrom(args); });
  if (request.patterns.mix && sessions.Any())
    throw CUsageError("--mix takes crystal and observed-data files, not sessions");
  CRunOutputs outputs(args.Positionals(), err);
  outputs.RefuseInput(request.output, "-o");
  if (request.session) {
    outputs.RefuseInput(*request.session, "--save-session");
    request.session = outputs.Claim(*request.session);
  }

  CPlotInputs inputs(request, sessions, err);
  int status = kExitSuccess;
  for (const std::string& input : args.Positionals())
    if (!inputs.Read(input)) status = kExitFailure;
  const CPatternList patterns = inputs.Plotted();
  const CPlotSpec& plotSpec = request.patterns.calculation.plotSpec;
  if (!request.xRangeGiven) FitXRange(patterns, plotSpec, request.display);
  ScaleToFirstData(patterns, plotSpec);
  const std::vector<CTSPattern*> plotted = PlottedPatterns(patterns);
  if (request.options.difference &&
      (std::ranges::count_if(plotted,
                             [](auto* p) { return p->GetKind() == CTSPattern::kObserved; }) != 1 ||
       std::ranges::count_if(plotted,
                             [](auto* p) { return p->GetKind() != CTSPattern::kObserved; }) == 0))
    throw CUsageError("--difference needs one observed-data input and a calculated one");
  if (std::ranges::none_of(patterns,
                           [&](const auto& p) { return ShowsSomething(*p, request.display); })) {
    err << Formatted("Nothing to plot between %g and %g: the picture shows the empty axes.\n",
                     request.display.xMin, request.display.xMax);
    status = kExitFailure;
  }

  // Stacking measures the curves, which are computed when first drawn: compute them now.
  if (request.stack)
    for (CTSPattern* pattern : plotted) CurvePoints(*pattern, plotSpec);
  const CPlotContent content{patterns, plotSpec, request.options};
  const std::string picture = outputs.Claim(request.output);
  const bool written = WithInputFile(picture, [&] {
    WritePicture(
        picture, request.format, request.size,
        [&](CCanvas& canvas, CRectF surface) {
          CPlotGeometry geometry(request.display);
          // Stacked first, so that the fit sees the curves where they are drawn and keeps the
          // rows and the difference under the lowest one.
          if (request.stack) StackPatterns(patterns, geometry.Display());
          FitIntensityRange(canvas, geometry, surface, content);
          DrawPlot(canvas, geometry, surface, content);
        },
        request.display.title);
  });
  if (request.session && !WithInputFile(*request.session, [&] {
        CSession session;
        session.plotSpec = plotSpec;
        session.display = request.display;
        session.patterns = patterns;
        WriteSessionFile(*request.session, session);
      }))
    return kExitFailure;
  return written ? status : kExitFailure;
}
