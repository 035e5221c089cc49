#pragma once

#include <QString>

class QDoubleSpinBox;
class QWidget;

// A level's spin box as the dialogs show one: tenths, from min to max,
// with its unit after the number ("-1.0 dBFS", "-16.0 LUFS"), disabled
// until its option is chosen.
[[nodiscard]] QDoubleSpinBox* MakeLevelBox(double min, double max, const QString& unit,
                                           const QString& accessibleName, QWidget* parent);
