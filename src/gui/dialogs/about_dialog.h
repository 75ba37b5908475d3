#pragma once
// "About Brelvik".

#include <QDialog>

namespace brelvik {

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace brelvik
