#include "gui/plot_picture.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/text.h"
#include "errors/exceptions.h"
#include "files/whole_file.h"
#include "gui/painter_canvas.h"
#include "plot/output_scale.h"

namespace {

constexpr double kMetresPerInch = 0.0254;

// Fonts need a QGuiApplication. A program without one (the command-line tool) gets one on the
// offscreen platform, which draws without a display, unless the user chose a platform.
void EnsureGuiApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "tessaline";
  static char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Qt's notes about the environment (no runtime folder, no session) mean nothing to a tool
  // that only draws; its critical messages still show.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
      std::fprintf(stderr, "%s\n", qPrintable(message));
  });
  static const std::unique_ptr<QGuiApplication> application =
      std::make_unique<QGuiApplication>(argc, argv);
}

// Paints on `device` at the picture's resolution: a white page, then the drawing.
void Paint(QPaintDevice& device, const CPictureSize& size,
           const std::function<void(CCanvas& canvas, CRectF surface)>& draw) {
  COutputScaleScope scale(size.dpi);
  QPainter painter(&device);
  const CRectF surface{0.0f, 0.0f, static_cast<float>(size.width), static_cast<float>(size.height)};
  painter.fillRect(QRectF(0, 0, size.width, size.height), Qt::white);
  CPainterCanvas canvas(painter);
  draw(canvas, surface);
  painter.end();
}

QByteArray PngBytes(const CPictureSize& size, const std::function<void(CCanvas&, CRectF)>& draw) {
  QImage image(size.width, size.height, QImage::Format_RGB32);
  const int dotsPerMetre = static_cast<int>(std::lround(size.dpi / kMetresPerInch));
  image.setDotsPerMeterX(dotsPerMetre);
  image.setDotsPerMeterY(dotsPerMetre);
  Paint(image, size, draw);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  // Qt's quality 80 is zlib's fastest compression: plots are mostly white and compress well at
  // any level, and the higher levels cost several times the drawing.
  image.save(&buffer, "PNG", 80);
  return bytes;
}

QByteArray SvgBytes(const CPictureSize& size, const QString& title,
                    const std::function<void(CCanvas&, CRectF)>& draw) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(QSize(size.width, size.height));
  svg.setViewBox(QRect(0, 0, size.width, size.height));
  svg.setResolution(size.dpi);
  svg.setTitle(title);
  svg.setDescription(QStringLiteral("Powder pattern"));
  Paint(svg, size, draw);
  return bytes;
}

QByteArray PdfBytes(const CPictureSize& size, const QString& title,
                    const std::function<void(CCanvas&, CRectF)>& draw) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter pdf(&buffer);
  pdf.setResolution(size.dpi);
  pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
  pdf.setPageSize(QPageSize(QSizeF(size.width * 72.0 / size.dpi, size.height * 72.0 / size.dpi),
                            QPageSize::Point));
  pdf.setCreator(QStringLiteral("Tessaline " TESSALINE_VERSION));
  pdf.setTitle(title);
  Paint(pdf, size, draw);
  return bytes;
}

}  // namespace

std::optional<CPictureFormat> PictureFormatOf(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
  const std::string extension = Lowercase(path.substr(dot + 1));
  if (extension == "png") return CPictureFormat::kPng;
  if (extension == "svg") return CPictureFormat::kSvg;
  if (extension == "pdf") return CPictureFormat::kPdf;
  return std::nullopt;
}

void WritePicture(const std::string& path, CPictureFormat format, const CPictureSize& size,
                  const std::function<void(CCanvas& canvas, CRectF surface)>& draw,
                  const std::string& title) {
  EnsureGuiApplication();
  const QString name =
      QString::fromStdString(title.empty() ? path.substr(path.find_last_of('/') + 1) : title);
  QByteArray bytes;
  switch (format) {
    case CPictureFormat::kPng:
      bytes = PngBytes(size, draw);
      break;
    case CPictureFormat::kSvg:
      bytes = SvgBytes(size, name, draw);
      break;
    case CPictureFormat::kPdf:
      bytes = PdfBytes(size, name, draw);
      break;
  }
  WriteWholeFile(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}
