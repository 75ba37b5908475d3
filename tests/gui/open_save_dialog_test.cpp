// "Открыть" and "Сохранить": the proposed name, the round trip of a case
// through the two dialogs, Cancel, and the refusals that change nothing.

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "gui/app/error_text.h"
#include "grid/geometry.h"
#include "gui/dialogs/open_save_dialog.h"
#include "state/simulation_state.h"
#include "test_support.h"

using namespace brelvik;
using brelvik_test::MessageBoxCatcher;

namespace {

QLineEdit* folderEdit(QDialog& d) { return d.findChild<QLineEdit*>(QStringLiteral("1000")); }
QPushButton* button(QDialog& d, const char* id) {
  return d.findChild<QPushButton*>(QString::fromLatin1(id));
}

// A small grid, so the case has volumes to write and read.
void buildSmallGrid(SimulationState& s) {
  DomainInputs in;
  in.nx = 6;
  in.ny = 4;
  in.nz = 4;
  CoreError error;
  QVERIFY2(createDomain(s, in, &error), qPrintable(errorText(error)));
}

}  // namespace

class OpenSaveDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void bothDialogsProposeSave() {
    SimulationState s;
    COpenDialog open(s);
    CSaveDialog save(s);
    open.show();
    save.show();
    QCOMPARE(open.windowTitle(), QStringLiteral("Открыть"));
    QCOMPARE(save.windowTitle(), QStringLiteral("Сохранить"));
    QCOMPARE(folderEdit(open)->text(), QStringLiteral("save"));
    QCOMPARE(folderEdit(save)->text(), QStringLiteral("save"));
    QCOMPARE(button(open, "1")->text(), QStringLiteral("OK"));
    QCOMPARE(button(open, "2")->text(), QStringLiteral("Cancel"));
    // The proposal comes back every time the dialog is shown.
    folderEdit(save)->setText(QStringLiteral("elsewhere"));
    save.hide();
    save.show();
    QCOMPARE(folderEdit(save)->text(), QStringLiteral("save"));
  }

  void saveThenOpenRestoresTheCase() {
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString folder = tmp.filePath(QStringLiteral("case one"));

    SimulationState a;
    buildSmallGrid(a);
    a.dt = 0.0025;
    a.stepCount = 7;
    a.physicalTime = 0.0175;
    {
      CSaveDialog dlg(a);
      dlg.show();
      folderEdit(dlg)->setText(folder);
      button(dlg, "1")->click();
      QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }
    QVERIFY(QDir(folder).exists());
    QVERIFY(!QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());

    SimulationState b;
    int repaints = 0;
    b.setRepaintCallback([&] { ++repaints; });
    {
      COpenDialog dlg(b);
      dlg.show();
      folderEdit(dlg)->setText(folder);
      button(dlg, "1")->click();
      QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }
    QVERIFY(repaints >= 1);
    QCOMPARE(b.volumeCount, a.volumeCount);
    QCOMPARE(b.gridCreated.load(), 1);
    QCOMPARE(b.dt, 0.0025);
    QCOMPARE(b.stepCount, 7);
    QCOMPARE(b.physicalTime, 0.0175);
    QCOMPARE(b.interpolTotal.load(), a.interpolTotal.load());
    QCOMPARE(b.volumes[0].Nx, a.volumes[0].Nx);
  }

  void cancelReadsAndWritesNothing() {
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("never"));
    SimulationState s;
    {
      CSaveDialog dlg(s);
      dlg.show();
      folderEdit(dlg)->setText(folder);
      button(dlg, "2")->click();
      QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }
    QVERIFY(!QDir(folder).exists());
    {
      COpenDialog dlg(s);
      dlg.show();
      folderEdit(dlg)->setText(folder);
      QTest::keyClick(&dlg, Qt::Key_Escape);
      QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }
    QCOMPARE(s.volumeCount, 0);
  }

  void openOfAMissingFolderNamesItAndChangesNothing() {
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("missing"));
    SimulationState s;
    buildSmallGrid(s);
    const int total = s.interpolTotal.load();
    COpenDialog dlg(s);
    dlg.show();
    folderEdit(dlg)->setText(folder);
    MessageBoxCatcher boxes;
    dlg.accept();
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].contains(folder), qPrintable(boxes.texts[0]));
    // Worded in Russian; the reader's English message is only in the details.
    QCOMPARE(boxes.texts[0],
             QStringLiteral("Не удалось открыть расчёт из папки «%1». Данные программы не изменены.")
                 .arg(folder));
    QVERIFY(dlg.isVisible());  // stays open for another name or Cancel
    QCOMPARE(s.volumeCount, 6);
    QCOMPARE(s.gridCreated.load(), 1);
    QCOMPARE(s.interpolTotal.load(), total);
  }

  void openOfADamagedFolderChangesNothing() {
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("damaged"));
    SimulationState a;
    buildSmallGrid(a);
    std::string error;
    {
      CSaveDialog dlg(a);
      dlg.show();
      folderEdit(dlg)->setText(folder);
      dlg.accept();
    }
    // Cut every file of the saved tree in half.
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    int damaged = 0;
    while (it.hasNext()) {
      QFile f(it.next());
      QVERIFY(f.open(QIODevice::ReadWrite));
      f.resize(f.size() / 2);
      ++damaged;
    }
    QVERIFY(damaged > 0);

    SimulationState b;
    b.dt = 0.5;
    COpenDialog dlg(b);
    dlg.show();
    folderEdit(dlg)->setText(folder);
    MessageBoxCatcher boxes;
    dlg.accept();
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(boxes.texts[0].contains(folder));
    QCOMPARE(b.volumeCount, 0);
    QCOMPARE(b.gridCreated.load(), 0);
    QCOMPARE(b.dt, 0.5);
  }

  void saveIntoAnUnwritablePlaceNamesIt() {
    QTemporaryDir tmp;
    const QString file = tmp.filePath(QStringLiteral("plain-file"));
    {
      QFile f(file);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("x");
    }
    const QString folder = file + QStringLiteral("/case");  // below a regular file
    SimulationState s;
    buildSmallGrid(s);
    CSaveDialog dlg(s);
    dlg.show();
    folderEdit(dlg)->setText(folder);
    MessageBoxCatcher boxes;
    dlg.accept();
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].contains(folder), qPrintable(boxes.texts[0]));
    QVERIFY(dlg.isVisible());
  }
};

QTEST_MAIN(OpenSaveDialogTest)
#include "open_save_dialog_test.moc"
