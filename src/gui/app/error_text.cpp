#include "gui/app/error_text.h"

#include <QFile>
#include <QMessageBox>

namespace brelvik {

namespace {

// The dialog label of a field; empty for none.
QString fieldLabel(InputField field) {
  switch (field) {
    case InputField::kDomainSize: return QStringLiteral("Размер области");
    case InputField::kFirstStep: return QStringLiteral("Сжатие");
    case InputField::kSizeAndFirstStep: return QStringLiteral("Размер области и Сжатие");
    case InputField::kNx:
    case InputField::kPlaneNx: return QStringLiteral("Nx");
    case InputField::kNy:
    case InputField::kPlaneNy: return QStringLiteral("Ny");
    case InputField::kNz:
    case InputField::kPlaneNz: return QStringLiteral("Nz");
    case InputField::kCellCounts:
    case InputField::kPlaneCounts: return QStringLiteral("Nx, Ny, Nz");
    case InputField::kNone: break;
  }
  return {};
}

bool isPlaneField(InputField field) {
  return field == InputField::kPlaneNx || field == InputField::kPlaneNy ||
         field == InputField::kPlaneNz || field == InputField::kPlaneCounts;
}

QString sentence(const CoreError& e) {
  const auto figure = [&e](int n) { return QString::number(e.figures[static_cast<size_t>(n)]); };
  // Paths are in the file system's encoding (QFile::encodeName).
  const QString file = QFile::decodeName(QByteArray::fromStdString(e.file));
  switch (e.code) {
    case ErrorCode::kNone: return QStringLiteral("ошибки нет");
    case ErrorCode::kDomainTooSmall:
      return QStringLiteral(
          "внешний радиус D·0.5 должен быть больше радиуса сферы 0.5 (D > 1)");
    case ErrorCode::kNotPositive: return QStringLiteral("первый шаг должен быть больше 0");
    case ErrorCode::kNegative:
      return isPlaneField(e.field) ? QStringLiteral("число точек не может быть отрицательным")
                                   : QStringLiteral("число ячеек не может быть отрицательным");
    case ErrorCode::kTooLarge: return QStringLiteral("число ячеек слишком велико");
    case ErrorCode::kGridExceedsMemory:
      return QStringLiteral("сетка с таким числом точек не помещается в памяти");
    case ErrorCode::kFirstStepFillsShell:
      return QStringLiteral(
          "первый шаг, умноженный на Nx + 1, должен быть меньше толщины слоя (D − 1)·0.5, "
          "иначе сгущение к сфере невозможно");
    case ErrorCode::kNoStretchingRatio:
      return QStringLiteral(
          "для такого первого шага отношение соседних радиальных ячеек не лежит между 1 и 1000");
    case ErrorCode::kOutOfMemory: return QStringLiteral("недостаточно памяти для сетки");
    case ErrorCode::kStencilsMissing:
      return QStringLiteral("Интерполяция: для %1 точек нет допустимого шаблона (первая: объём %2, "
                            "точка %3)")
          .arg(figure(0), figure(1), figure(2));
    case ErrorCode::kInterpolationIncomplete:
      return QStringLiteral("Интерполяция: обработано %1 точек из %2").arg(figure(0), figure(1));
    case ErrorCode::kUnknownPlane:
      return QStringLiteral("Неизвестная ориентация плоскости %1 (1 XY, 2 XZ, 3 YZ)").arg(figure(0));
    case ErrorCode::kTooManySamples:
      return QStringLiteral("слишком много точек на плоскости: %1, допустимо не больше %2")
          .arg(figure(0), figure(1));
    case ErrorCode::kPlaneNotComputed:
      return QStringLiteral("Плоскость не вычислена: нажмите «Вычислить» перед экспортом.");
    case ErrorCode::kPlaneStale:
      return QStringLiteral(
          "Плоскость вычислена для области, которая с тех пор заменена: нажмите «Вычислить» "
          "ещё раз перед экспортом.");
    case ErrorCode::kNoGrid:
      return QStringLiteral("Сетка не создана: записывать в папку «%1» нечего.").arg(file);
    case ErrorCode::kCaseNotOpened:
      return QStringLiteral("Не удалось открыть расчёт из папки «%1». Данные программы не изменены.")
          .arg(file);
    case ErrorCode::kCaseNotSaved:
      return QStringLiteral("Не удалось сохранить расчёт в папку «%1».").arg(file);
    case ErrorCode::kFolderNotCreated: return QStringLiteral("Не удалось создать папку «%1».").arg(file);
    case ErrorCode::kFileUnwritable: return QStringLiteral("Не удалось записать файл «%1».").arg(file);
  }
  return QStringLiteral("неизвестная ошибка");
}

}  // namespace

QString errorText(const CoreError& error) {
  const QString label = fieldLabel(error.field);
  return label.isEmpty() ? sentence(error) : label + QStringLiteral(": ") + sentence(error);
}

void showError(QWidget* parent, const QString& title, const QString& text, const std::string& detail) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
  if (!detail.empty()) box.setDetailedText(QString::fromStdString(detail));
  box.exec();
}

QString interpolationButtonCaption(RunState state) {
  return state == RunState::kRunning ? QStringLiteral("стоп") : QStringLiteral("старт");
}

QString flowLineButtonCaption(RunState state) {
  return state == RunState::kRunning ? QStringLiteral("Стоп") : QStringLiteral("Старт");
}

}  // namespace brelvik
