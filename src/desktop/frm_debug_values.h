#pragma once

#include <QTableWidget>

class QMenu;
class QMouseEvent;

// The value grid of the debug window (flexDebugValues): six read-only live counters, then
// the twenty numeric tuning parameters, each edited in place. A typed value goes through the
// parameters' setter when the edit ends (Enter, another cell, the focus elsewhere); a refused
// one leaves the cell as it was, Escape puts the shown value back, and an edit that scrolls
// out of sight stays open with its text. Its popup menu restores the built-in defaults.
namespace orv::desktop {

class DebugValuesGrid : public QTableWidget {
  Q_OBJECT

 public:
  explicit DebugValuesGrid(QWidget* parent = nullptr);

  // Rewrites the value cells of the counters, from the server's live figures.
  void refreshCounters();
  // Rewrites the value cells of the tuning parameters from their current values.
  void RefreshDebugValuesGrid();
  // Every tuning parameter back to its built-in default, then the cells rewritten.
  void restoreDefaultValues();

  QMenu* restoreMenu() const { return mnuAdvParamValues_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void showRestoreMenu(const QPoint& position);

  QMenu* mnuAdvParamValues_ = nullptr;
};

}  // namespace orv::desktop
