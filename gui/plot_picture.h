// Pictures of the plot in files: PNG (a raster image), SVG and PDF (vector drawings with real
// text). The picture is drawn in memory and written as a whole, so a failed export never leaves
// half a file.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "plot/canvas.h"

enum class CPictureFormat { kPng, kSvg, kPdf };

// The format a file name asks for by its extension (any case); nothing for another one.
std::optional<CPictureFormat> PictureFormatOf(const std::string& path);

struct CPictureSize {
  int width = 1600;  // pixels
  int height = 1000;
  int dpi = 192;  // the resolution fonts and line widths are sized for
};

// Draws the picture with `draw` on a white surface of the size and writes it to `path`. Sizes
// given in screen pixels are converted with the output scale for the picture's resolution.
// A process without a QGuiApplication gets one on the offscreen platform. A file that cannot be
// written raises the core's file errors. A PDF or SVG document carries `title` for viewers and
// catalogues (the plot's title), or when it is empty the file's name.
void WritePicture(const std::string& path, CPictureFormat format, const CPictureSize& size,
                  const std::function<void(CCanvas& canvas, CRectF surface)>& draw,
                  const std::string& title = {});
