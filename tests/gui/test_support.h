#pragma once
// Helpers shared by the Qt Test programs.

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "gui/app/unsaved_changes.h"

namespace brelvik_test {

// «Сохранить изменения?» is answered "No" in every test that does not set
// its own answer, so commands that discard a case never wait for a click.
inline const bool kDiscardChangesByDefault =
    (brelvik::setSaveQuestion([](QWidget*) { return brelvik::SaveAnswer::Discard; }), true);

// Watches for modal message boxes while a test runs a command that may show
// one: records each box's text and closes it, so the command's nested event
// loop returns.
class MessageBoxCatcher {
 public:
  MessageBoxCatcher() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || box->isHidden()) return;
      texts.append(box->text());
      details.append(box->detailedText());
      box->done(QMessageBox::Ok);
    });
    timer_.start();
  }
  QStringList texts;
  QStringList details;  // each box's "Show Details" text, empty when it has none

 private:
  QTimer timer_;
};

// Runs `body` on the first modal dialog of type T that opens after this call
// (once), e.g. to fill fields and press OK in a dialog opened by a command.
// A dialog that `body` leaves open (a failed check returns early) is closed,
// so the command that opened it always returns.
template <typename T>
void onNextModal(std::function<void(T*)> body) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, body] {
    auto* dlg = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!dlg || !dlg->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    body(dlg);
    if (dlg->isVisible()) dlg->reject();
  });
  timer->start();
}

// Dialog controls by their numeric control id (the object name); a missing
// control ends the test program with its id.
template <class T>
T* child(QWidget& dlg, int id) {
  T* w = dlg.findChild<T*>(QString::number(id));
  if (!w) qFatal("no control %d", id);
  return w;
}

inline QString text(QWidget& dlg, int id) { return child<QLineEdit>(dlg, id)->text(); }
inline void press(QWidget& dlg, int id) {
  QTest::mouseClick(child<QPushButton>(dlg, id), Qt::LeftButton);
}
// Replaces an edit's text by typing, as the user would.
inline void type(QWidget& dlg, int id, const QString& t) {
  QLineEdit* e = child<QLineEdit>(dlg, id);
  e->clear();
  QTest::keyClicks(e, t);
}
inline bool checked(QWidget& dlg, int id) { return child<QCheckBox>(dlg, id)->isChecked(); }
// On the box's indicator: a check box reacts only to clicks on its
// indicator and text, not on the rest of its row.
inline void click(QWidget& dlg, int id) {
  QCheckBox* box = child<QCheckBox>(dlg, id);
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

}  // namespace brelvik_test
