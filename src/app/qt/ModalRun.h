// Runs a result window or editor modally. Tests put a handler in place that
// works the window as an operator would and returns its result, instead of
// a nested event loop waiting for input.
#pragma once

#include <functional>

class QDialog;

namespace kyd::app {

using ModalHandler = std::function<int(QDialog&)>;

// dialog.exec(), or the handler when one is set.
int ExecModal(QDialog& dialog);
// Replaces the handler (empty: exec() again); returns the previous one.
ModalHandler SetModalHandler(ModalHandler handler);

} // namespace kyd::app
