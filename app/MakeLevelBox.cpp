#include "app/MakeLevelBox.h"

#include <QDoubleSpinBox>

QDoubleSpinBox* MakeLevelBox(double min, double max, const QString& unit,
                             const QString& accessibleName, QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(min, max);
    box->setDecimals(1);
    box->setSingleStep(0.1);
    box->setSuffix(QLatin1Char(' ') + unit);
    box->setEnabled(false);
    box->setAccessibleName(accessibleName);
    return box;
}
