#include "gui/app/dialog_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace brelvik {

QLineEdit* makeEdit(int id, QWidget* parent, int maximumWidth) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QString::number(id));
  if (maximumWidth > 0) e->setMaximumWidth(maximumWidth);
  return e;
}

QPushButton* makeButton(int id, const QString& text, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(QString::number(id));
  b->setAutoDefault(false);
  return b;
}

QCheckBox* makeCheck(int id, const QString& text, QWidget* parent) {
  auto* c = new QCheckBox(text, parent);
  c->setObjectName(QString::number(id));
  return c;
}

QPushButton* makeOkButton(QDialog* dialog) {
  auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  // accept() is virtual: a dialog that checks its fields first gets its own.
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  return ok;
}

QHBoxLayout* rightAlignedRow(std::initializer_list<QWidget*> widgets) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  for (QWidget* w : widgets) row->addWidget(w);
  return row;
}

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace brelvik
