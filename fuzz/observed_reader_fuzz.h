// Any bytes given as an observed-data file must be read or refused with one of our exceptions,
// and the format's probe must answer either way. Data that read go on through what the program
// does with them next: smoothing, a background and the grid.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "errors/exception.h"
#include "files/observed_files.h"
#include "files/platform_file.h"
#include "fuzz_file.h"
#include "patterns/observed_pattern.h"
#include "patterns/plot_spec.h"
#include "quiet_alerts.h"

template <class Format>
int FuzzObservedReader(const uint8_t* data, size_t size) {
  static CQuietAlerts alerts;
  const std::string& path = FuzzInputPath(data, size);
  Format::Recognise(path);
  Format file;
  if (!file.Open(path, CFile::kModeRead)) return 0;
  CObservedData read;
  try {
    file.ReadObservedData(read);
  } catch (const CVHException&) {
    return 0;
  }
  // What a read promises: data, finite numbers, errors for every point or none.
  if (read.points.empty() || (!read.errors.empty() && read.errors.size() != read.points.size())) std::abort();
  for (const CProfilePoint& point : read.points)
    if (!std::isfinite(point.x) || !std::isfinite(point.y)) std::abort();

  CTSObservedPattern pattern{CTSPattern::BuiltInDefaults{}};
  pattern.SetData(std::move(read.points), std::move(read.errors));
  pattern.Smoothing().smooth = true;
  pattern.Smooth();
  pattern.ResetBackground();
  pattern.AddControlPoint();
  pattern.SetBackgroundInUse(true);
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetProfilePoints(1000);
  pattern.GetProfile(plotSpec);
  return 0;
}
