// «Экспорт VTK…» and «Сохранить историю CSV…» of the «Файл» menu: the
// enable rule, the folder and file choosers, the files written, and a
// folder that cannot be written (a Russian message box naming the folder,
// the system's reason under its details; the case unchanged).

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "grid/geometry.h"
#include "gui/app/error_text.h"
#include "gui/app/brelvik_doc.h"
#include "gui/app/main_frame.h"
#include "state/simulation_state.h"
#include "test_support.h"

using namespace brelvik;
using brelvik_test::MessageBoxCatcher;
using brelvik_test::onNextModal;

namespace {

// Types `path` into the name field of the next file dialog, as the user
// would, and accepts it (QFileDialog::accept, as the OK button does).
// selectFile() would race the dialog's background directory listing.
void chooseNext(const QString& path) {
  onNextModal<QFileDialog>([path](QFileDialog* dlg) {
    auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    name->setText(path);
    static_cast<QDialog*>(dlg)->accept();
  });
}

}  // namespace

class ExportCommandsTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<SimulationState> s;
  std::unique_ptr<CBrelvikDoc> doc;
  std::unique_ptr<CMainFrame> frame;
  QTemporaryDir dir;

 private slots:
  void init() {
    s = std::make_unique<SimulationState>();
    doc = std::make_unique<CBrelvikDoc>();
    frame = std::make_unique<CMainFrame>(
        *s, doc.get(), [](SimulationState&, QWidget* parent) { return new QWidget(parent); });
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
  }
  void cleanup() {
    frame.reset();
    doc.reset();
    s.reset();
  }

  // Disabled until a grid exists; then the chosen folder receives the
  // moment of the current step, and an unwritable folder is reported in
  // the program's own words, naming the folder, with the state as it was.
  void exportVtkWritesTheMomentOrReportsTheFile() {
    QVERIFY(!frame->action(kCmdExportVtk)->isEnabled());
    QVERIFY(!frame->runCommand(kCmdExportVtk));

    DomainInputs in;
    in.nx = 6;
    in.ny = 4;
    in.nz = 4;
    CoreError error;
    QVERIFY2(createDomain(*s, in, &error), qPrintable(errorText(error)));
    s->stepCount = 7;
    s->physicalTime = 0.5;
    frame->updateCommandUi();
    QVERIFY(frame->action(kCmdExportVtk)->isEnabled());

    const QString folder = dir.filePath(QStringLiteral("vtk"));
    QVERIFY(QDir().mkpath(folder));
    chooseNext(folder);
    {
      MessageBoxCatcher boxes;
      QVERIFY(frame->runCommand(kCmdExportVtk));
      QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    }
    QVERIFY(QFile::exists(folder + QStringLiteral("/step_000007.vtm")));
    for (int v = 1; v <= 6; ++v) {
      QVERIFY(QFile::exists(folder + QStringLiteral("/step_000007/volume_%1.vts").arg(v)));
      QVERIFY(QFile::exists(folder + QStringLiteral("/step_000007/wall_%1.vts").arg(v)));
    }

    // A plain file where the moment's folder goes: it cannot be created.
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    QVERIFY(QDir().mkpath(blocked));
    QFile f(blocked + QStringLiteral("/step_000007"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const std::vector<double> before = s->volumes[0].P;
    chooseNext(blocked);
    MessageBoxCatcher boxes;
    QVERIFY(frame->runCommand(kCmdExportVtk));
    QTRY_COMPARE(boxes.texts.size(), 1);
    QCOMPARE(boxes.texts.first(),
             QStringLiteral("Не удалось создать папку «%1/step_000007».").arg(blocked));
    QVERIFY(!boxes.details.first().isEmpty());
    QCOMPARE(s->volumes[0].P, before);
    QCOMPARE(s->stepCount, 7);
  }

  // The drag history of a case goes to the chosen file as CSV.
  void saveHistoryCsvWritesTheSamples() {
    QVERIFY(!frame->action(kCmdSaveHistoryCsv)->isEnabled());
    s->gridCreated = 1;
    s->interpolationReady = 1;
    s->flowInitialised = 1;
    s->stepCount = 20;
    s->historyCounter = 0;
    for (int m = 0; m < 2; ++m)
      for (ValueSeries* series : {&s->historyTime, &s->historyCx, &s->historyCp, &s->historyCf}) {
        series->append();
        series->item(m) = 0.25 * (m + 1);
      }
    frame->updateCommandUi();
    QVERIFY(frame->action(kCmdSaveHistoryCsv)->isEnabled());
    const QString path = dir.filePath(QStringLiteral("drag.csv"));
    chooseNext(path);
    QVERIFY(frame->runCommand(kCmdSaveHistoryCsv));
    QFile csv(path);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(csv.readAll()),
             QStringLiteral("step,time,Cx,Cp,Cf\n10,0.25,0.25,0.25,0.25\n20,0.5,0.5,0.5,0.5\n"));
  }
};

QTEST_MAIN(ExportCommandsTest)
#include "export_commands_test.moc"
