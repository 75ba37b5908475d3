#pragma once
// The desktop program's wording of the core's errors and of the worker
// threads' run states. Every Russian sentence about a core failure is
// written here and nowhere else.

#include <QString>
#include <string>

#include "state/core_error.h"
#include "state/simulation_state.h"

class QWidget;

namespace brelvik {

// The sentence for an error, led by the dialog field at fault
// ("Сжатие: первый шаг должен быть больше 0"). The detail is not part of it.
QString errorText(const CoreError& error);

// A modal warning showing `text`. A detail (the system's or a file reader's
// own words, not ours) goes to the box's expandable details, not its text.
void showError(QWidget* parent, const QString& title, const QString& text, const std::string& detail);

// The caption of the domain dialog's interpolation button in a run state:
// "стоп" while the thread runs, "старт" otherwise.
QString interpolationButtonCaption(RunState state);

// The caption of the streamline dialog's start button: "Стоп" while a run
// goes on, "Старт" otherwise.
QString flowLineButtonCaption(RunState state);

}  // namespace brelvik
