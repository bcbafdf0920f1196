// Widgets of the main window that are built the same way each time: the palette, the status
// bar's labels, the project link, the point table's model, the wait dialogs of the two loads,
// the receiver health dock and the first-start hint. No decisions: the window and its units
// decide what they show.
#pragma once

#include <QIcon>
#include <QString>
#include <array>
#include <memory>
#include <string>

class QDockWidget;
class QLabel;
class QMainWindow;
class QProgressDialog;
class QPushButton;
class QStatusBar;
class QStandardItemModel;
class QTableView;
class QWidget;

namespace kv::window {

void installPalette();

// A status-bar label, of a fixed size when `w` is given.
QLabel* statusLabel(QWidget* parent, int w = 0, int h = 0);

// The status bar's widgets: the statistics labels (with their names and least size), the
// project link, and a running CSV export's line and "End export" button (hidden).
struct StatusBarParts {
    QLabel* x = nullptr;
    QLabel* y = nullptr;
    QLabel* z = nullptr;
    QLabel* csvExport = nullptr;
    QPushButton* csvEnd = nullptr;
};
StatusBarParts addStatusBarParts(QMainWindow* window, QStatusBar* bar);

// The project's page: its README, beside the program, at the top of the source tree or in
// the installed data folder; plain text when none is there.
QLabel* projectLinkLabel(QWidget* parent);

// A button image: ./Resources/images/<file> beside the working directory, or the copy compiled
// into the program when it runs from elsewhere.
QIcon imageFile(const char* file);

// A fresh model of the point table ("ID", "Points_m_XYZ", "Distance", "Azimuth", "Intensity",
// column widths 40, 200, 80, 80, 80) set on `table`, owned by `owner`; the previous model and
// selection model go.
QStandardItemModel* resetPointTable(QTableView* table, QObject* owner);
// Writes the five cells of `row`, growing the model when needed.
void setTableRow(QStandardItemModel* model, int row, const std::array<std::string, 5>& texts);

// The modal "Please wait a moment" dialog of a load, with `label` and a range of 0..maximum.
std::unique_ptr<QProgressDialog> waitDialog(QWidget* parent, const QString& label, int maximum);

// The "Receiver health" dock at the bottom of `window`; its line goes to `label`.
QDockWidget* addHealthDock(QMainWindow* window, QLabel*& label);

// The hint over the still black view before the first press of "Lidar".
QLabel* startHint(QWidget* view, const QString& port);
void setStartHintPort(QLabel* hint, const QString& port);

}  // namespace kv::window
