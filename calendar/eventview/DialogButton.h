#pragma once

#include <QPushButton>

// A command button of the program's dialogs: found by `name` in tests and
// never the default button, so that Return in a text box does not press it.
QPushButton* NewDialogButton(const char* text, const char* name);
