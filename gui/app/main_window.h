// The application's main window: the plot in the centre, the patterns and reflexions lists in
// docks around it, the menus, the toolbar and the status bar with the cursor readout.
#pragma once

#include <QMainWindow>

class CMainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit CMainWindow(QWidget* parent = nullptr);
};
