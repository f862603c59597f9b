// The plot on screen: a thin view that draws the document's plotted patterns through the core's
// renderer on the QPainter canvas. It redraws only when the document's hints say something it
// shows has changed; a resize or an expose paints from the last picture until the new one is
// drawn, and while the document works beside the event loop the last picture is all it shows.
//
// Mouse: the wheel zooms x around the pointer (with Ctrl: the intensity), a drag with the left
// button zooms to the box drawn, a drag with the middle button (or Space and the left) pans,
// a double click shows the natural range again. Files dropped on it are opened.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <optional>

#include "document/tess_doc.h"
#include "plot/peak_pick.h"
#include "plot/plot_geometry.h"
#include "plot/plot_renderer.h"

class QRubberBand;

class CPlotWidget final : public QWidget, public CDocumentView {
  Q_OBJECT

 public:
  explicit CPlotWidget(CTessDoc& document, QWidget* parent = nullptr);
  ~CPlotWidget() override;

  void OnUpdate(const CUpdateHint& hint) override;

  // The graph's own options (reflexion rows, difference curve); the plot redraws.
  const CPlotOptions& Options() const { return m_options; }
  void SetOptions(const CPlotOptions& options);
  // While set, the plot only repaints its last picture: the patterns are being calculated.
  void SetFrozen(bool frozen);
  // Shows the natural x range and fits the intensity to it.
  void ShowNaturalRange();
  // Zooms x about the middle of the plot by `factor` (above 1 zooms in).
  void ZoomX(double factor);

  // Draws the plot as it is shown on any canvas (an exported picture, a printed page).
  void Draw(CCanvas& canvas, CRectF surface) const;

 signals:
  // What lies under the pointer, for the status bar; empty when it left the plot area.
  void cursorReadout(const QString& text);
  void filesDropped(const QStringList& paths);
  // A click on a peak: the pattern and its reflexion.
  void peakPicked(const CPickedPeak& peak);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  enum class EDrag { kNone, kZoomBox, kPan };

  CPlotContent Content() const { return {m_document.Patterns(), m_document.PlotSpec(), m_options}; }
  // The display fields with the axis texts of the plot specification's axis.
  CPlotDisplay Display() const;
  // Draws the picture into the cache; fits the intensity first when asked.
  void Render();
  void Invalidate();
  bool AnyPlotted() const;
  void SetXRange(double low, double high);
  QString Readout(QPointF pixel) const;

  CTessDoc& m_document;
  CPlotOptions m_options;
  QPixmap m_picture;
  bool m_stale = true;
  bool m_fitIntensity = true;
  bool m_frozen = false;
  bool m_anyPlotted = false;
  VHTypes::TSAxisType m_axis;
  // The geometry of the last picture, for the pointer's data coordinates.
  std::optional<CPlotGeometry> m_geometry;

  EDrag m_drag = EDrag::kNone;
  bool m_spaceHeld = false;
  QPoint m_pressedAt;
  QPoint m_lastPan;
  QPointer<QRubberBand> m_band;
};
