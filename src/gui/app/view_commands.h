#pragma once
// The view's command handlers: everything of the "Файл", "Вид" and
// "Геометрия" menus except the two bar toggles and "Выход". They run on the
// window thread, change SimulationState and ask the view to repaint.

#include <QObject>

#include "gui/app/command_ids.h"

class QWidget;

namespace brelvik {

struct SimulationState;

class ViewCommands : public QObject {
  Q_OBJECT
 public:
  // `window` parents the dialogs and message boxes.
  ViewCommands(SimulationState& s, QWidget* window);

  // Dispatches one command id; ids the view does not handle are ignored.
  // The caller has checked the enable rule.
  void run(CommandId id);

  void newCase();            // "Новый"
  void start();              // "Старт"
  void stop();               // "Стоп"
  void open();               // "Открыть"
  void save();               // "Сохранить"
  void exportVtk();          // "Экспорт VTK…"
  void saveHistoryCsv();     // "Сохранить историю CSV…"
  void showScene();          // "Включить"
  void showDragHistory();    // "Коэффициент сопротивления"
  void toggleMinMax();       // "min_max"
  void domainParameters();   // "Параметры области"
  void flowParameters();     // "Параметры течения"
  void orientation();        // "Ориентация СК"
  void velocityField();      // "Поле скоростей"
  void flowLines();          // "Линии тока"
  void visualisation();      // "Визуализация"

 private:
  SimulationState& s_;
  QWidget* window_;
};

}  // namespace brelvik
