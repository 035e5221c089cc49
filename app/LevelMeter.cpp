#include "app/LevelMeter.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double FloorDb = -60.0;
// How long a peak stays held before a lower one may take its place.
constexpr qint64 HoldMs = 1500;

double ToDb(float peak) {
    return peak <= 0 ? FloorDb : std::max(FloorDb, 20.0 * std::log10(static_cast<double>(peak)));
}

}  // namespace

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent), m_levelDb(FloorDb), m_heldDb(FloorDb) {
    setAccessibleName(tr("Input level"));
    setMinimumHeight(22);
}

QSize LevelMeter::sizeHint() const { return {320, 22}; }

void LevelMeter::SetLevel(float peak) {
    m_levelDb = ToDb(peak);
    if (m_levelDb >= m_heldDb || !m_heldSince.isValid() || m_heldSince.elapsed() > HoldMs) {
        m_heldDb = m_levelDb;
        m_heldSince.start();
    }
    update();
}

void LevelMeter::Reset() {
    m_levelDb = m_heldDb = FloorDb;
    m_heldSince.invalidate();
    update();
}

void LevelMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect text = QRect(width() - 80, 0, 80, height());
    const QRect bar = rect().adjusted(0, 2, -84, -2);
    painter.fillRect(bar, palette().color(QPalette::Base));
    const auto at = [&bar](double db) {
        return bar.left() + static_cast<int>(std::lround((db - FloorDb) / -FloorDb * bar.width()));
    };
    // Green to the last 6 dB, then red: the take is near clipping there.
    const int x = at(m_levelDb);
    const int warn = at(-6.0);
    painter.fillRect(QRect(bar.left(), bar.top(), std::min(x, warn) - bar.left(), bar.height()),
                     QColor(60, 180, 75));
    if (x > warn)
        painter.fillRect(QRect(warn, bar.top(), x - warn, bar.height()), QColor(220, 50, 40));
    const int held = at(m_heldDb);
    painter.setPen(QPen(palette().color(QPalette::Text), 2));
    if (m_heldDb > FloorDb) painter.drawLine(held, bar.top(), held, bar.bottom());
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    const QString label =
        m_heldDb > FloorDb ? QString::number(m_heldDb, 'f', 1) + tr(" dBFS") : tr("silence");
    painter.drawText(text, Qt::AlignRight | Qt::AlignVCenter, label);
}
