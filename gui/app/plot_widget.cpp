#include "gui/app/plot_widget.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLocale>
#include <QMimeData>
#include <QPainter>
#include <QRubberBand>
#include <QToolTip>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "gui/painter_canvas.h"
#include "patterns/plot_spec.h"

namespace {

// One notch of the wheel zooms by this much.
constexpr double kWheelZoom = 1.25;
constexpr int kWheelNotch = 120;
// A drag shorter than this is a click, not a zoom box.
constexpr int kSmallestBox = 5;

QStringList LocalFiles(const QMimeData* data) {
  QStringList paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  return paths;
}

}  // namespace

CPlotWidget::CPlotWidget(CTessDoc& document, QWidget* parent)
    : QWidget(parent), m_document(document), m_axis(document.PlotSpec().AxisType()) {
  m_options.reflexionRows = true;
  setAcceptDrops(true);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(320, 200);
  m_document.AddView(*this);
  ShowNaturalRange();
}

CPlotWidget::~CPlotWidget() {
  m_document.RemoveView(*this);
}

void CPlotWidget::OnUpdate(const CUpdateHint& hint) {
  const CTessDoc::CAutoscale autoscale = m_document.TakeAutoscale();
  // A new axis means new units: the old range means nothing on it.
  const bool newAxis = m_document.PlotSpec().AxisType() != m_axis;
  m_axis = m_document.PlotSpec().AxisType();
  const bool listChanged =
      hint.Code() == HintCode::kPatternListChanged || hint.Code() == HintCode::kPlottedSetChanged;
  // The first patterns plotted show whole, as does an empty plot.
  const bool hadPlotted = std::exchange(m_anyPlotted, AnyPlotted());
  // Observed data keep the x values they were read with, which on a new axis are no position
  // at all: the range follows the calculated patterns then.
  if (newAxis)
    FitXRange(m_document.Patterns(), m_document.PlotSpec(), m_document.Display(),
              TSXFit::kCalculated);
  else if (autoscale.x || (listChanged && (!hadPlotted || !m_anyPlotted)))
    FitXRange(m_document.Patterns(), m_document.PlotSpec(), m_document.Display());
  // Stacking moves the curves: the range fits them anew, with air above the top one and room
  // for the rows under the lowest; labels want room above the peaks.
  const bool moved =
      hint.Code() == HintCode::kGraphChanged || hint.Code() == HintCode::kLabelsChanged;
  if (autoscale.x || autoscale.y || newAxis || listChanged || moved) m_fitIntensity = true;
  if (hint.Code() != HintCode::kReflexionSelected) Invalidate();
}

bool CPlotWidget::AnyPlotted() const {
  return std::ranges::any_of(m_document.Patterns(), [](const auto& p) { return p->Plotted(); });
}

void CPlotWidget::SetOptions(const CPlotOptions& options) {
  m_options = options;
  m_fitIntensity = true;
  Invalidate();
}

void CPlotWidget::SetFrozen(bool frozen) {
  // What the document holds before the work starts is whole: drawn now, it is what the window
  // shows while the work runs (the empty axes at the first start, not a blank).
  if (frozen && m_stale && isVisible()) Render();
  m_frozen = frozen;
  if (!frozen) update();
}

void CPlotWidget::ShowNaturalRange() {
  FitXRange(m_document.Patterns(), m_document.PlotSpec(), m_document.Display());
  m_fitIntensity = true;
  Invalidate();
}

void CPlotWidget::ZoomX(double factor) {
  const CPlotDisplay& display = m_document.Display();
  const double middle = (display.xMin + display.xMax) / 2, half = (display.xMax - display.xMin) / 2;
  SetXRange(middle - half / factor, middle + half / factor);
}

CPlotDisplay CPlotWidget::Display() const {
  CPlotDisplay display = m_document.Display();
  const CPlotSpec& plotSpec = m_document.PlotSpec();
  display.xAxisName = plotSpec.XAxisTitle();
  display.xAxisUnit = plotSpec.XAxisUnit();
  display.intensityName = plotSpec.YAxisTitle();
  // The plot speaks the desktop's font; sessions from elsewhere may name one this system lacks.
  display.fontName = QFont().family().toStdString();
  display.fontSize = std::max(display.fontSize, 9.0f);
  return display;
}

void CPlotWidget::Draw(CCanvas& canvas, CRectF surface) const {
  CPlotGeometry geometry(Display());
  DrawPlot(canvas, geometry, surface, Content());
}

void CPlotWidget::Render() {
  const qreal ratio = devicePixelRatioF();
  QPixmap picture(size() * ratio);
  picture.setDevicePixelRatio(ratio);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  CPainterCanvas canvas(painter);
  const CRectF surface{0.0f, 0.0f, static_cast<float>(width()), static_cast<float>(height())};
  CPlotGeometry geometry(Display());
  if (m_fitIntensity) {
    FitIntensityRange(canvas, geometry, surface, Content());
    m_document.Display().yMin = geometry.Display().yMin;
    m_document.Display().yMax = geometry.Display().yMax;
    m_fitIntensity = false;
  }
  if (DrawPlot(canvas, geometry, surface, Content()))
    m_geometry = geometry;
  else
    m_geometry.reset();
  painter.end();
  m_picture = picture;
  m_stale = false;
}

void CPlotWidget::Invalidate() {
  m_stale = true;
  update();
}

void CPlotWidget::paintEvent(QPaintEvent*) {
  if (m_stale && !m_frozen) Render();
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  if (!m_picture.isNull()) painter.drawPixmap(0, 0, m_picture);
}

void CPlotWidget::resizeEvent(QResizeEvent*) {
  // The rows under the baseline take a fixed height: a new height fits the intensity anew.
  m_fitIntensity = true;
  m_stale = true;
}

void CPlotWidget::SetXRange(double low, double high) {
  if (!(high > low) || !std::isfinite(low) || !std::isfinite(high)) return;
  // Never wider than what was calculated, never narrower than a sliver of it.
  const CPlotSpec& plotSpec = m_document.PlotSpec();
  CPlotDisplay natural;
  FitXRange(m_document.Patterns(), plotSpec, natural);
  const double lowest = std::min(natural.xMin, plotSpec.XMin()),
               highest = std::max(natural.xMax, plotSpec.XMax());
  const double smallest = (highest - lowest) * 1e-6;
  if (high - low < smallest) return;
  if (high - low > highest - lowest) low = lowest, high = highest;
  if (low < lowest) high += lowest - low, low = lowest;
  if (high > highest) low -= high - highest, high = highest;
  m_document.Display().xMin = low;
  m_document.Display().xMax = high;
  m_fitIntensity = true;
  Invalidate();
}

void CPlotWidget::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0 || !m_geometry) return;
  const double factor = std::pow(kWheelZoom, static_cast<double>(delta) / kWheelNotch);
  const QPointF at = event->position();
  const auto [x, y] =
      m_geometry->PixelToData({static_cast<float>(at.x()), static_cast<float>(at.y())});
  CPlotDisplay& display = m_document.Display();
  if (event->modifiers() & Qt::ControlModifier) {
    // The intensity zooms about its baseline, where the peaks stand.
    display.yMax = display.yMin + (display.yMax - display.yMin) / factor;
    Invalidate();
  } else {
    SetXRange(x - (x - display.xMin) / factor, x + (display.xMax - x) / factor);
  }
  event->accept();
}

void CPlotWidget::mousePressEvent(QMouseEvent* event) {
  m_pressedAt = m_lastPan = event->position().toPoint();
  if (event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && m_spaceHeld)) {
    m_drag = EDrag::kPan;
    setCursor(Qt::ClosedHandCursor);
  } else if (event->button() == Qt::LeftButton) {
    m_drag = EDrag::kZoomBox;
    if (!m_band) m_band = new QRubberBand(QRubberBand::Rectangle, this);
    m_band->setGeometry(QRect(m_pressedAt, QSize()));
    m_band->show();
  }
}

void CPlotWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  emit cursorReadout(Readout(event->position()));
  if (m_drag == EDrag::kNone && m_geometry) {
    const auto peak = PickPeak(m_document.Patterns(), *m_geometry,
                               {static_cast<float>(at.x()), static_cast<float>(at.y())});
    if (peak)
      QToolTip::showText(event->globalPosition().toPoint(),
                         QString::fromStdString(PeakTip(*peak, m_document.PlotSpec())), this);
    else
      QToolTip::hideText();
  }
  if (m_drag == EDrag::kZoomBox && m_band) {
    m_band->setGeometry(QRect(m_pressedAt, at).normalized());
  } else if (m_drag == EDrag::kPan && m_geometry && m_geometry->XScale() > 0.0) {
    const double shift = (at.x() - m_lastPan.x()) / m_geometry->XScale();
    const CPlotDisplay& display = m_document.Display();
    SetXRange(display.xMin - shift, display.xMax - shift);
    m_lastPan = at;
  }
}

void CPlotWidget::mouseReleaseEvent(QMouseEvent* event) {
  const EDrag drag = std::exchange(m_drag, EDrag::kNone);
  unsetCursor();
  if (drag != EDrag::kZoomBox || !m_band) return;
  m_band->hide();
  const QRect box = QRect(m_pressedAt, event->position().toPoint()).normalized();
  if (!m_geometry) return;
  if (box.width() < kSmallestBox) {
    // A click, not a box: the peak under it is picked.
    const QPoint at = event->position().toPoint();
    if (const auto peak = PickPeak(m_document.Patterns(), *m_geometry,
                                   {static_cast<float>(at.x()), static_cast<float>(at.y())}))
      emit peakPicked(*peak);
    return;
  }
  const auto [left, top] =
      m_geometry->PixelToData({static_cast<float>(box.left()), static_cast<float>(box.top())});
  const auto [right, bottom] =
      m_geometry->PixelToData({static_cast<float>(box.right()), static_cast<float>(box.bottom())});
  SetXRange(left, right);
  // A box of some height also chooses the intensities; a flat one only the x range.
  if (box.height() >= kSmallestBox && top > bottom) {
    m_document.Display().yMin = bottom;
    m_document.Display().yMax = top;
    m_fitIntensity = false;
  }
}

void CPlotWidget::mouseDoubleClickEvent(QMouseEvent*) {
  ShowNaturalRange();
}

void CPlotWidget::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
    m_spaceHeld = true;
    setCursor(Qt::OpenHandCursor);
    return;
  }
  QWidget::keyPressEvent(event);
}

void CPlotWidget::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
    m_spaceHeld = false;
    unsetCursor();
    return;
  }
  QWidget::keyReleaseEvent(event);
}

void CPlotWidget::leaveEvent(QEvent*) {
  emit cursorReadout({});
}

QString CPlotWidget::Readout(QPointF pixel) const {
  if (!m_geometry ||
      !m_geometry->Area().Contains({static_cast<float>(pixel.x()), static_cast<float>(pixel.y())}))
    return {};
  const auto [x, y] =
      m_geometry->PixelToData({static_cast<float>(pixel.x()), static_cast<float>(pixel.y())});
  const CPlotSpec& plotSpec = m_document.PlotSpec();
  // Numbers on screen follow the user's locale; files never do.
  const QLocale locale;
  const QString unit = QString::fromUtf8(plotSpec.XAxisUnit());
  QString text = QStringLiteral("%1 = %2%3")
                     .arg(QString::fromUtf8(plotSpec.XAxisTitle()), locale.toString(x, 'f', 3),
                          unit.isEmpty() ? QString() : QStringLiteral(" ") + unit);
  if (plotSpec.AxisType() != VHTypes::kAxisDSpacing) {
    const double d = plotSpec.XToD(x);
    if (std::isfinite(d) && d > 0.0)
      text += QStringLiteral("    d = %1 Å").arg(locale.toString(d, 'f', 4));
  }
  text += QStringLiteral("    I = %1").arg(locale.toString(y, 'f', 1));
  return text;
}

void CPlotWidget::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalFiles(event->mimeData()).isEmpty() && !m_document.Closing())
    event->acceptProposedAction();
}

void CPlotWidget::dropEvent(QDropEvent* event) {
  const QStringList paths = LocalFiles(event->mimeData());
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  emit filesDropped(paths);
}
