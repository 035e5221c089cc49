#pragma once

#include <QWidget>

#include <cstdint>

#include "convert/VoiceLoad.h"

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;

// The row editor's typed times and sound shape: start, length and end as
// m:ss.mmm, "End after last sound", "Snap to zero crossings", "Reverse",
// the pitch in semitones and the fades in milliseconds. It only shows and
// reads them; the dialog decides what a typed time does to the row.
class RowShapeBox : public QWidget {
    Q_OBJECT
public:
    explicit RowShapeBox(QWidget* parent = nullptr);

    // Shows the shape options of options (not its start, length or level).
    void SetShape(const VoiceOptions& options);
    // Sets the shape options of *options from the controls.
    void ApplyShape(VoiceOptions* options) const;
    // Sets the fade-in (in) or fade-out to ms, within its range.
    void SetFade(bool in, int ms);
    // Shows the row's part: start and length in source frames at rate.
    void ShowTimes(int64_t start, int64_t length, int rate);

    [[nodiscard]] QLineEdit* StartEdit() const { return m_start; }
    [[nodiscard]] QLineEdit* LengthEdit() const { return m_length; }
    [[nodiscard]] QLineEdit* EndEdit() const { return m_end; }
    [[nodiscard]] QCheckBox* SnapBox() const { return m_snap; }
    [[nodiscard]] QCheckBox* ReverseBox() const { return m_reverse; }
    [[nodiscard]] QDoubleSpinBox* PitchBox() const { return m_pitch; }

signals:
    // A time was typed and confirmed (Enter or leaving the field), in
    // nanoseconds of the file; an unreadable text puts the shown time back.
    void StartTyped(int64_t nanoseconds);
    void LengthTyped(int64_t nanoseconds);
    void EndTyped(int64_t nanoseconds);
    // A shape control changed.
    void ShapeChanged();

protected:
    // Enter in a time field takes the time and leaves the dialog open.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* AddTime(class QHBoxLayout* row, const QString& label, const QString& name,
                       void (RowShapeBox::*typed)(int64_t));

    QLineEdit* m_start = nullptr;
    QLineEdit* m_length = nullptr;
    QLineEdit* m_end = nullptr;
    QCheckBox* m_endAuto = nullptr;
    QCheckBox* m_snap = nullptr;
    QCheckBox* m_reverse = nullptr;
    QDoubleSpinBox* m_pitch = nullptr;
    QSpinBox* m_fadeIn = nullptr;
    QSpinBox* m_fadeOut = nullptr;
};
