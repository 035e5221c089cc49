#pragma once

#include <QElapsedTimer>
#include <QWidget>

// An input's level as a bar from -60 to 0 dBFS, with the highest peak of
// the last moments held as a line and written beside it.
class LevelMeter : public QWidget {
public:
    explicit LevelMeter(QWidget* parent = nullptr);

    // The largest absolute sample since the last call (1 is full scale).
    void SetLevel(float peak);
    // Back to silence, the held peak dropped.
    void Reset();
    [[nodiscard]] double LevelDbfs() const { return m_levelDb; }
    [[nodiscard]] double HeldDbfs() const { return m_heldDb; }
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_levelDb;
    double m_heldDb;
    QElapsedTimer m_heldSince;
};
