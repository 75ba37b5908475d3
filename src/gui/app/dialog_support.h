#pragma once
// Building blocks shared by the program's dialogs. Controls carry their
// numeric control id as object name: the tests and the worker-thread
// callbacks find them by it.

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <initializer_list>

class QDialog;
class QWidget;

namespace brelvik {

// Width cap of the short numeric edits (values, steps, coordinates).
inline constexpr int kNumberEditWidth = 80;

// A one-line edit named by its control id; a positive maximumWidth caps its
// width.
QLineEdit* makeEdit(int id, QWidget* parent, int maximumWidth = 0);

// A push button named by its control id. It never becomes the default
// button, so Enter in an edit still means "OK".
QPushButton* makeButton(int id, const QString& text, QWidget* parent);

// A check box named by its control id.
QCheckBox* makeCheck(int id, const QString& text, QWidget* parent);

// The dialog's "OK" button (id 1): the default button, closing the dialog
// through its (possibly overridden) accept().
QPushButton* makeOkButton(QDialog* dialog);

// A row that pushes the given widgets to its right end.
QHBoxLayout* rightAlignedRow(std::initializer_list<QWidget*> widgets);

// Shows the busy cursor while a long operation runs on the window thread.
class BusyCursor {
 public:
  BusyCursor();
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace brelvik
