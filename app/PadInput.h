#pragma once

#include <QObject>
#include <QString>

#include <optional>

#include "controls/RepeatedKeyFilter.h"
#include "midi/MidiInput.h"

class ProfileStore;
class QKeyEvent;
class QMenu;
class SlotModel;

// The rows as pads: played from the computer keyboard by key position and
// from MIDI note-ons, one-shot, rows sounding together, a row still
// sounding restarting (one voice per row). The play buttons keep their own
// behaviour; this only adds strokes.
//
// Keys, by position (scan code) so that every layout gets the same grid:
//   1 2 3 4  rows 13-16
//   Q W E R  rows 9-12
//   A S D F  rows 5-8
//   Z X C V  rows 1-4
// Backspace stops every sound. Keys reach the pads only when no widget that
// takes text had them first; key repeats are ignored, X11's too (a release
// and a press with one timestamp), so a held key strikes once.
class PadInput : public QObject {
    Q_OBJECT
public:
    // model: the rows the pads play; must outlive this object.
    explicit PadInput(SlotModel& model, QObject* parent = nullptr);
    ~PadInput() override;  // StopMidi()

    // The row (1 ... 16) a key plays, from its native scan code (X11 and
    // Wayland key codes: the evdev code plus 8) or, where the platform
    // gives none, from its key on a US layout; 0 for any other key.
    [[nodiscard]] static int RowForKey(quint32 nativeScanCode, int key);
    [[nodiscard]] static bool IsStopAllKey(int key);

    // The MIDI settings from the profile's [MidiInput] section (defaults
    // where keys are missing), then opens the inputs.
    void StartMidi(ProfileStore* profile);
    // Closes the inputs: their clients leave the MIDI systems.
    void StopMidi();
    // Writes the settings the user changed (or that the profile held).
    void SaveSettings(ProfileStore& profile) const;
    [[nodiscard]] const midi::InputSettings& MidiSettings() const { return m_settings; }
    void SetMidiSettings(const midi::InputSettings& settings);
    [[nodiscard]] const midi::MidiInput& Midi() const { return m_midi; }

    // Where strokes sound: the program's own JACK outputs when the MIDI
    // input is JACK (Automatic), always there (Jack: the JACK client is
    // joined for them alone if need be), or the sound device. Auditions
    // stay on the sound device.
    enum class SoundOutput { Automatic, Jack, Device };
    [[nodiscard]] SoundOutput Output() const { return m_output; }
    void SetOutput(SoundOutput output);

    // Adds "Stop all sounds" and the "MIDI input" and "Sound output"
    // submenus to a context menu.
    void AddMenuItems(QMenu& menu);

    // One stroke of row (1 ... 16) at a MIDI velocity.
    bool Strike(int row, int velocity = 127);
    // A note-on as the instrument maps it, from any thread while the model
    // is open (the MIDI inputs call it): it sounds at once, and the stroke
    // is shown on this object's thread.
    // sounded: it sounds at the JACK outputs already.
    void PlayNote(int note, int velocity, bool sounded = false);
    void StopAll();

signals:
    // A pad of slot (0 ... 15) was struck, by key or MIDI.
    void Struck(int slot);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool OnKeyPress(const QKeyEvent& event);
    void AddMidiMenu(QMenu& menu);
    void AddSoundOutputMenu(QMenu& menu);

    SlotModel& m_model;
    midi::MidiInput m_midi;
    midi::InputSettings m_settings;
    bool m_midiStarted = false;
    bool m_settingsRead = false;  // the profile held the section: written back as it is
    SoundOutput m_output = SoundOutput::Automatic;
    bool m_outputRead = false;                              // the same for the output's section
    KeyRepeats m_repeats{KeyRepeats::SameKey::ByPosition};  // pads are key positions
};
