#include "gui/dialogs/about_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/app/toolbar_icons.h"

namespace brelvik {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CAboutDlg"));
  setWindowTitle(QStringLiteral("About Brelvik"));

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("icon"));
  icon->setPixmap(applicationIcon().pixmap(32, 32));

  auto* name = new QLabel(QStringLiteral("Brelvik 1.0"), this);
  name->setObjectName(QStringLiteral("version"));
  auto* line = new QLabel(
      QStringLiteral("Течение вязкого сжимаемого газа около сферы на шести перекрывающихся сетках"),
      this);
  line->setObjectName(QStringLiteral("description"));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* texts = new QVBoxLayout;
  texts->addWidget(name);
  texts->addWidget(line);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addLayout(texts, 1);
  top->addWidget(ok, 0, Qt::AlignTop);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace brelvik
