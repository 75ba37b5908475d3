// "Параметры течения": what the dialog shows and what OK and Esc store.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "gui/dialogs/parameters_flow_dialog.h"
#include "state/simulation_state.h"
#include "test_support.h"

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
    edit(dlg, "1015")->setText(QStringLiteral("0.5 fast"));
    edit(dlg, "1016")->setText(QStringLiteral("+0.7"));
    edit(dlg, "1018")->setText(QStringLiteral("1.67,0"));
    dlg.accept();
    QCOMPARE(s.dt, 0.0002500000118743628);
    QCOMPARE(s.Re, 400.0);
    QCOMPARE(s.M, 0.5);
    QCOMPARE(s.Pr, double(0.7f));
    QCOMPARE(s.k, double(1.67f));
  }

  // Values the solver cannot run with (letters read as 0, zero, negative,
  // beyond single precision, k <= 1) are refused with a message naming the
  // field; nothing is stored and the dialog stays open.
  void unusableValuesAreRefusedNamingTheField() {
    const struct {
      const char* id;
      const char* text;
      const char* field;
    } cases[] = {{"1000", "0", "dt"},    {"1000", "-1e-3", "dt"}, {"1014", "letters", "Re"},
                 {"1014", "1e39", "Re"}, {"1015", "0", "M"},      {"1016", "-0.7", "Pr"},
                 {"1018", "1", "k"},     {"1018", "0.5", "k"}};
    for (const auto& c : cases) {
      SimulationState s;
      CParametersFlow dlg(s);
      dlg.show();
      edit(dlg, c.id)->setText(QString::fromLatin1(c.text));
      brelvik_test::MessageBoxCatcher boxes;
      dlg.accept();
      QCOMPARE(boxes.texts.size(), 1);
      QVERIFY2(boxes.texts[0].startsWith(QString::fromLatin1(c.field) + ":"),
               qPrintable(boxes.texts[0]));
      QVERIFY(dlg.isVisible());
      QCOMPARE(s.dt, 0.001);
      QCOMPARE(s.Re, 100.0);
      QCOMPARE(s.M, 0.6);
      QCOMPARE(s.Pr, 1.0);
      QCOMPARE(s.k, 1.4);
    }
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

  void farFieldIsStoredAndABadFieldKeepsIt() {
    SimulationState s;
    CParametersFlow dlg(s);
    dlg.show();
    auto* farField = dlg.findChild<QComboBox*>(QStringLiteral("farField"));
    QCOMPARE(farField->currentIndex(), 0);
    farField->setCurrentIndex(1);
    {
      edit(dlg, "1014")->setText(QStringLiteral("0"));
      brelvik_test::MessageBoxCatcher catcher;
      dlg.accept();
      QTRY_COMPARE(catcher.texts.size(), 1);
      QVERIFY(catcher.texts[0].contains(QStringLiteral("Re")));
      QCOMPARE(s.farField, FarField::Reflecting);
      QVERIFY(dlg.isVisible());
    }
    edit(dlg, "1014")->setText(QStringLiteral("250"));
    dlg.accept();
    QCOMPARE(s.farField, FarField::Absorbing);
    QCOMPARE(s.Re, 250.0);
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
