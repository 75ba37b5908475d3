#pragma once
// Command ids of the menu bar and the toolbar. The numbers are the program's
// long-standing command identifiers (several are the framework's standard ids
// for New/Open/Save/Exit/About and for the two bar toggles); keep them stable.

#include <array>

namespace brelvik {

enum CommandId : int {
  kCmdNew = 57600,               // "Новый"
  kCmdOpen = 57601,              // "Открыть"
  kCmdSave = 57603,              // "Сохранить"
  kCmdExit = 57665,              // "Выход"
  kCmdAbout = 57664,             // "О программе"
  kCmdStart = 32771,             // "Старт"
  kCmdStop = 32772,              // "Стоп"
  kCmdVelocityField = 32773,     // "Поле скоростей"
  kCmdDragCoefficient = 32775,   // "Коэффициент сопротивления"
  kCmdFlowLines = 32776,         // "Линии тока"
  kCmdVisualisation = 32789,     // "Визуализация"
  kCmdDomainParameters = 32791,  // "Параметры области"
  kCmdMinMax = 32793,            // "min_max"
  kCmdShowScene = 32796,         // "Включить"
  kCmdFlowParameters = 32798,    // "Параметры течения"
  kCmdOrientation = 32799,       // "Ориентация СК"
  kCmdToolBar = 59392,           // "Панель инструментов" (also the toolbar's id)
  kCmdStatusBar = 59393,         // "Строка состояния" (also the status bar's id)
  kCmdExportVtk = 32801,         // "Экспорт VTK…"
  kCmdSaveHistoryCsv = 32802,    // "Сохранить историю CSV…"
};

// Every command, in menu order.
inline constexpr std::array<CommandId, 20> kAllCommands = {
    kCmdNew,           kCmdStart,          kCmdStop,         kCmdOpen,        kCmdSave,
    kCmdExportVtk,     kCmdSaveHistoryCsv, kCmdExit,         kCmdShowScene,   kCmdOrientation,
    kCmdVelocityField, kCmdFlowLines,      kCmdDragCoefficient, kCmdMinMax,   kCmdToolBar,
    kCmdStatusBar,     kCmdDomainParameters, kCmdFlowParameters, kCmdVisualisation, kCmdAbout,
};

// Menu item text (UTF-8).
constexpr const char* commandText(CommandId id) {
  switch (id) {
    case kCmdNew: return "Новый";
    case kCmdOpen: return "Открыть";
    case kCmdSave: return "Сохранить";
    case kCmdExit: return "Выход";
    case kCmdAbout: return "О программе";
    case kCmdStart: return "Старт";
    case kCmdStop: return "Стоп";
    case kCmdVelocityField: return "Поле скоростей";
    case kCmdDragCoefficient: return "Коэффициент сопротивления";
    case kCmdFlowLines: return "Линии тока";
    case kCmdVisualisation: return "Визуализация";
    case kCmdDomainParameters: return "Параметры области";
    case kCmdMinMax: return "min_max";
    case kCmdShowScene: return "Включить";
    case kCmdFlowParameters: return "Параметры течения";
    case kCmdOrientation: return "Ориентация СК";
    case kCmdToolBar: return "Панель инструментов";
    case kCmdStatusBar: return "Строка состояния";
    case kCmdExportVtk: return "Экспорт VTK…";
    case kCmdSaveHistoryCsv: return "Сохранить историю CSV…";
  }
  return "";
}

// Command string: the status-bar prompt, a newline, the tool tip. Commands
// without a string return nullptr.
constexpr const char* commandString(CommandId id) {
  switch (id) {
    case kCmdNew: return "\nНовый";
    case kCmdOpen: return "\nОткрыть";
    case kCmdSave: return "\nСохранить";
    case kCmdStart: return "\nСтарт";
    case kCmdStop: return "\nСтоп";
    case kCmdVelocityField: return "\nПоле скоростей";
    case kCmdDragCoefficient: return "\nКоэффициент сопротивления";
    case kCmdFlowLines: return "\nЛинии тока";
    case kCmdVisualisation: return "\nВизуализация";
    case kCmdDomainParameters: return "\nПараметры области";
    case kCmdShowScene: return "\nВключить";
    case kCmdFlowParameters: return "\nПараметры течения";
    case kCmdOrientation: return "\nОриентация СК";
    case kCmdExportVtk: return "Записать текущее поле в файлы VTK для ParaView и VisIt";
    case kCmdSaveHistoryCsv: return "Записать историю коэффициентов сопротивления в файл CSV";
    default: return nullptr;
  }
}

// Toolbar buttons left to right; 0 stands for a separator.
inline constexpr std::array<int, 17> kToolBarLayout = {
    kCmdOpen, kCmdSave, 0, kCmdNew, kCmdStart, kCmdStop, 0, kCmdShowScene, kCmdOrientation,
    kCmdVelocityField, kCmdFlowLines, 0, kCmdDragCoefficient, 0, kCmdDomainParameters,
    kCmdFlowParameters, kCmdVisualisation,
};

}  // namespace brelvik
