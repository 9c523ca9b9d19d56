// What a screen reader hears of the program's own widgets (the value displays, the selectors, the
// gauges) and of what is said wherever the focus is.
#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace platform {

// Tells Qt's accessibility how to present the program's widgets; once, at start.
void InstallAccessibility();

// Shows a value display's new text; a screen reader hears of the change, and of none when the
// text stays the same.
void ShowValueText(QLabel* display, const QString& text);

// Has a screen reader say the words now, wherever the focus is on the window.
void Announce(QWidget* window, const QString& words);

} // namespace platform
