#pragma once
// Helpers shared by the Qt Test programs.

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <functional>

namespace brelvik_test {

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
      box->done(QMessageBox::Ok);
    });
    timer_.start();
  }
  QStringList texts;

 private:
  QTimer timer_;
};

// Runs `body` on the first modal dialog of type T that opens after this call
// (once), e.g. to fill fields and press OK in a dialog opened by a command.
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
  });
  timer->start();
}

}  // namespace brelvik_test
