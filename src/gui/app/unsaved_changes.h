#pragma once
// «Сохранить изменения?»: New, Open, Create and closing the window discard
// the current case, so they first ask when it changed since it was last
// saved or opened.
//
// "Changed" compares a fingerprint of what a save would write (grid
// generation, step, time, parameters, interpolation progress, flags,
// history length) with the one taken at the last save or open. A state
// without a grid and without history has nothing to lose and never asks.

#include <functional>

class QWidget;

namespace brelvik {

struct SimulationState;

enum class SaveAnswer { Save, Discard, Cancel };

// The question itself; the default shows a message box with Да / Нет /
// Отмена. Tests replace it to answer without a window.
using SaveQuestion = std::function<SaveAnswer(QWidget* parent)>;
void setSaveQuestion(SaveQuestion question);

// Records the case as saved (or just opened).
void markCaseSaved(SimulationState& s);
// Whether the case differs from the one last saved or opened.
bool caseChangedSinceSave(SimulationState& s);

// Asks when the case changed. Save runs the Save dialog and goes on only
// when the case was saved; Discard goes on; Cancel stops. Returns whether
// the caller may discard the current case.
bool confirmDiscardCase(SimulationState& s, QWidget* parent);

}  // namespace brelvik
