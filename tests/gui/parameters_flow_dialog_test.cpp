// "Параметры течения": what the dialog shows and what OK and Esc store.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "gui/dialogs/parameters_flow_dialog.h"
#include "state/simulation_state.h"

using namespace brelvik;

namespace {

QLineEdit* edit(QDialog& d, const char* id) {
  return d.findChild<QLineEdit*>(QString::fromLatin1(id));
}

}  // namespace

class ParametersFlowDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void showsTheParametersWithTheirFormats() {
    SimulationState s;
    s.Pr = 0.7251;
    CParametersFlow dlg(s);
    dlg.show();
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Параметры течения"));
    QCOMPARE(edit(dlg, "1000")->text(), QStringLiteral("1.00e-03"));
    QCOMPARE(edit(dlg, "1014")->text(), QStringLiteral("100.00"));
    QCOMPARE(edit(dlg, "1015")->text(), QStringLiteral("0.60"));
    QCOMPARE(edit(dlg, "1016")->text(), QStringLiteral("0.73"));
    QCOMPARE(edit(dlg, "1018")->text(), QStringLiteral("1.40"));
    QStringList labels;
    for (QLabel* l : dlg.findChildren<QLabel*>()) labels << l->text();
    for (const char* l : {"dt", "Re", "M", "Pr", "k"}) QVERIFY(labels.contains(QString::fromLatin1(l)));
  }

  void okStoresTheShownDigitsInSinglePrecision() {
    SimulationState s;
    s.Re = 123.456;
    s.Pr = 0.7251;
    CParametersFlow dlg(s);
    dlg.show();
    dlg.findChild<QPushButton*>(QStringLiteral("1"))->click();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(s.dt, 0.0010000000474974513);
    QCOMPARE(s.M, 0.6000000238418579);
    QCOMPARE(s.k, 1.399999976158142);
    QCOMPARE(s.Re, double(123.46f));
    QCOMPARE(s.Pr, double(0.73f));
    // Nothing but the five parameters changes.
    QCOMPARE(s.physicalTime, 0.0);
    QCOMPARE(s.flowInitialised.load(), 0);
  }

  void okParsesLeadingNumbers() {
    SimulationState s;
    CParametersFlow dlg(s);
    dlg.show();
    edit(dlg, "1000")->setText(QStringLiteral("2.5e-4abc"));
    edit(dlg, "1014")->setText(QStringLiteral("  400 "));
    edit(dlg, "1015")->setText(QStringLiteral("fast"));
    edit(dlg, "1016")->setText(QString());
    edit(dlg, "1018")->setText(QStringLiteral("1.67,0"));
    dlg.accept();
    QCOMPARE(s.dt, 0.0002500000118743628);
    QCOMPARE(s.Re, 400.0);
    QCOMPARE(s.M, 0.0);
    QCOMPARE(s.Pr, 0.0);
    QCOMPARE(s.k, double(1.67f));
  }

  void escapeChangesNothing() {
    SimulationState s;
    CParametersFlow dlg(s);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    edit(dlg, "1000")->setText(QStringLiteral("0.5"));
    edit(dlg, "1014")->setText(QStringLiteral("1"));
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(s.dt, 0.001);
    QCOMPARE(s.Re, 100.0);
  }

  void fieldsAreRefreshedEachTimeTheDialogIsShown() {
    SimulationState s;
    CParametersFlow dlg(s);
    dlg.show();
    edit(dlg, "1014")->setText(QStringLiteral("typed"));
    dlg.hide();
    s.Re = 5000;
    dlg.show();
    QCOMPARE(edit(dlg, "1014")->text(), QStringLiteral("5000.00"));
  }
};

QTEST_MAIN(ParametersFlowDialogTest)
#include "parameters_flow_dialog_test.moc"
