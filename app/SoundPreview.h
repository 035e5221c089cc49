#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

class JobRunner;
class QCheckBox;
class QSlider;
class SlotModel;

// The browser's preview: its on/off box and level, and the playing of a
// file as a row would make it through the model's audition. The row is made
// in the Audition lane of the browser's runner; only the newest preview
// asked for plays.
class SoundPreview : public QWidget {
    Q_OBJECT
public:
    // model and jobs must outlive the preview.
    SoundPreview(SlotModel& model, JobRunner& jobs, QWidget* parent = nullptr);
    ~SoundPreview() override;

    void SetOn(bool on);
    [[nodiscard]] bool IsOn() const;
    // 0 ... 100, the audition's gain in percent.
    void SetLevel(int percent);
    [[nodiscard]] int Level() const;
    // How long the selection must rest, after type-ahead letters, before
    // its file plays (ms).
    void SetSettleDelay(int ms) { m_settle.setInterval(ms); }

    // Plays path now, as a row would make it, unless a later preview was
    // asked for before it was made.
    void Play(const QString& path);
    void Stop();
    // Asks for Settled once the selection rests (restarted by each call).
    void PlayWhenSettled() { m_settle.start(); }

signals:
    // A preview reached the audition (playing), or was made and dropped
    // because the selection had moved on.
    void Started(const QString& path);
    void Dropped(const QString& path);
    // The selection rested after PlayWhenSettled.
    void Settled();

private:
    SlotModel& m_model;
    JobRunner& m_jobs;
    QCheckBox* m_on = nullptr;
    QSlider* m_level = nullptr;
    QTimer m_settle;             // restarted by each type-ahead letter
    quint64 m_previewAsked = 0;  // counts previews asked for; only the newest plays
};
