// The desktop program's Russian wording of core errors and run states.

#include <QRegularExpression>
#include <QTest>

#include "gui/app/error_text.h"

using namespace brelvik;

namespace {

CoreError error(ErrorCode code, InputField field = InputField::kNone,
                std::array<long long, 3> figures = {}) {
  CoreError e;
  e.code = code;
  e.field = field;
  e.figures = figures;
  return e;
}

}  // namespace

class ErrorTextTest : public QObject {
  Q_OBJECT
 private slots:
  // The domain dialog's messages lead with the field's label.
  void domainErrorsNameTheDialogField() {
    QCOMPARE(errorText(error(ErrorCode::kDomainTooSmall, InputField::kDomainSize)),
             QStringLiteral("Размер области: внешний радиус D·0.5 должен быть больше радиуса сферы "
                            "0.5 (D > 1)"));
    QCOMPARE(errorText(error(ErrorCode::kNotPositive, InputField::kFirstStep)),
             QStringLiteral("Сжатие: первый шаг должен быть больше 0"));
    QCOMPARE(errorText(error(ErrorCode::kNegative, InputField::kNy)),
             QStringLiteral("Ny: число ячеек не может быть отрицательным"));
    QCOMPARE(errorText(error(ErrorCode::kOutOfMemory, InputField::kCellCounts)),
             QStringLiteral("Nx, Ny, Nz: недостаточно памяти для сетки"));
  }

  void figuresAndFilesAreWordedInRussian() {
    QCOMPARE(errorText(error(ErrorCode::kStencilsMissing, InputField::kNone, {12, 3, 456})),
             QStringLiteral("Интерполяция: для 12 точек нет допустимого шаблона (первая: объём 3, "
                            "точка 456)"));
    CoreError file = error(ErrorCode::kFileUnwritable);
    file.file = "out/Winsurf_files/T.dat";
    file.detail = "Permission denied";  // the system's words stay out of the sentence
    QCOMPARE(errorText(file), QStringLiteral("Не удалось записать файл «out/Winsurf_files/T.dat»."));
    // No code falls through to the catch-all, and none is worded in English.
    for (int c = static_cast<int>(ErrorCode::kDomainTooSmall);
         c <= static_cast<int>(ErrorCode::kFileUnwritable); ++c) {
      const QString text = errorText(error(static_cast<ErrorCode>(c)));
      QVERIFY2(text != QStringLiteral("неизвестная ошибка"), qPrintable(QString::number(c)));
      QVERIFY2(text.contains(QRegularExpression(QStringLiteral("[а-яА-Я]"))), qPrintable(text));
    }
  }

  void runStatesBecomeTheButtonsCaptions() {
    QCOMPARE(interpolationButtonCaption(RunState::kRunning), QStringLiteral("стоп"));
    QCOMPARE(interpolationButtonCaption(RunState::kIdle), QStringLiteral("старт"));
    QCOMPARE(flowLineButtonCaption(RunState::kRunning), QStringLiteral("Стоп"));
    QCOMPARE(flowLineButtonCaption(RunState::kIdle), QStringLiteral("Старт"));
  }
};

QTEST_MAIN(ErrorTextTest)
#include "error_text_test.moc"
