#include "app/PadInput.h"

#include <QAction>
#include <QActionGroup>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaObject>

#include <algorithm>
#include <array>

#include "app/ProfileStore.h"
#include "core/SlotModel.h"
#include "engine/RowSampler.h"
#include "midi/NoteMap.h"

namespace {

const QString SectionMidi = QStringLiteral("MidiInput");
const QString KeyAlsa = QStringLiteral("AlsaSequencer");
const QString KeyJack = QStringLiteral("Jack");
const QString KeyAutoConnect = QStringLiteral("AutoConnect");
const QString KeyChannel = QStringLiteral("Channel");
const QString SectionOutput = QStringLiteral("SoundOutput");
const QString KeyOutput = QStringLiteral("Output");
const std::array<QString, 3> OutputNames = {QStringLiteral("Automatic"), QStringLiteral("Jack"),
                                            QStringLiteral("Device")};

// The grid by position, bottom row first; evdev key codes (X11 and Wayland
// add 8) and the keys a US layout puts there.
struct PadKey {
    quint32 evdev;
    int usKey;
};
// clang-format off
constexpr std::array<PadKey, midi::RowCount> PadKeys = {{
    {44, Qt::Key_Z}, {45, Qt::Key_X}, {46, Qt::Key_C}, {47, Qt::Key_V},
    {30, Qt::Key_A}, {31, Qt::Key_S}, {32, Qt::Key_D}, {33, Qt::Key_F},
    {16, Qt::Key_Q}, {17, Qt::Key_W}, {18, Qt::Key_E}, {19, Qt::Key_R},
    {2, Qt::Key_1},  {3, Qt::Key_2},  {4, Qt::Key_3},  {5, Qt::Key_4},
}};
// clang-format on
constexpr quint32 XkbKeycodeOffset = 8;

}  // namespace

PadInput::PadInput(SlotModel& model, QObject* parent) : QObject(parent), m_model(model) {
    // The sound device may play through the JACK server that went away:
    // it closes (on the window's thread) before MIDI joins the new server.
    m_midi.SetJackLostNotice([this] {
        QMetaObject::invokeMethod(
            this, [this] { m_model.DropSoundDevice(); }, Qt::QueuedConnection);
    });
}

PadInput::~PadInput() { StopMidi(); }

int PadInput::RowForKey(quint32 nativeScanCode, int key) {
    for (size_t i = 0; i < PadKeys.size(); ++i) {
        const bool hit = nativeScanCode != 0 ? nativeScanCode == PadKeys[i].evdev + XkbKeycodeOffset
                                             : key == PadKeys[i].usKey;
        if (hit) return static_cast<int>(i) + 1;
    }
    return 0;
}

bool PadInput::IsStopAllKey(int key) { return key == Qt::Key_Backspace; }

bool PadInput::Strike(int row, int velocity) {
    emit Struck(row - 1);
    const float gain = midi::GainForVelocity(velocity);
    // At the JACK outputs the stroke starts with the next cycle.
    if (m_midi.HasJackOutput() && m_model.StrikeSlotFromInput(row - 1, gain)) {
        m_model.ShowStruck(row - 1);
        return true;
    }
    return m_model.StrikeSlot(row - 1, gain);
}

void PadInput::StopAll() { (void)m_model.StopAllSlots(); }

bool PadInput::eventFilter(QObject* watched, QEvent* event) {
    // Keys a child (a text field, a button's Space) took never get here.
    if (event->type() == QEvent::KeyPress && OnKeyPress(static_cast<const QKeyEvent&>(*event)))
        return true;
    if (event->type() == QEvent::KeyRelease)
        m_repeats.NoteRelease(static_cast<const QKeyEvent&>(*event));
    return QObject::eventFilter(watched, event);
}

bool PadInput::OnKeyPress(const QKeyEvent& event) {
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    if (IsStopAllKey(event.key())) {
        if (!m_repeats.IsRepeat(event)) StopAll();
        return true;
    }
    const int row = RowForKey(event.nativeScanCode(), event.key());
    if (row == 0) return false;
    if (!m_repeats.IsRepeat(event)) (void)Strike(row);
    return true;
}

void PadInput::StartMidi(ProfileStore* profile) {
    if (profile != nullptr && !m_settingsRead) {
        const midi::InputSettings defaults;
        m_settingsRead =
            !profile->GetProfileString(SectionMidi, KeyChannel, QString()).isEmpty() ||
            !profile->GetProfileString(SectionMidi, KeyAlsa, QString()).isEmpty() ||
            !profile->GetProfileString(SectionMidi, KeyJack, QString()).isEmpty() ||
            !profile->GetProfileString(SectionMidi, KeyAutoConnect, QString()).isEmpty();
        m_settings.alsa = profile->GetProfileInt(SectionMidi, KeyAlsa, defaults.alsa) != 0;
        m_settings.jack = profile->GetProfileInt(SectionMidi, KeyJack, defaults.jack) != 0;
        m_settings.autoConnect =
            profile->GetProfileInt(SectionMidi, KeyAutoConnect, defaults.autoConnect) != 0;
        const int channel = profile->GetProfileInt(SectionMidi, KeyChannel, defaults.channel);
        m_settings.channel = channel >= 0 && channel <= 16 ? channel : defaults.channel;
    }
    if (profile != nullptr && !m_outputRead) {
        const QString name = profile->GetProfileString(SectionOutput, KeyOutput, QString());
        m_outputRead = !name.isEmpty();
        const auto known = std::find(OutputNames.begin(), OutputNames.end(), name);
        if (known != OutputNames.end())
            m_output = static_cast<SoundOutput>(known - OutputNames.begin());
    }
    m_midiStarted = true;
    const bool jackOutput =
        m_output == SoundOutput::Jack || (m_output == SoundOutput::Automatic && m_settings.jack);
    (void)m_midi.Start(
        m_settings,
        [this](int note, int velocity, bool sounded) { PlayNote(note, velocity, sounded); },
        jackOutput ? std::shared_ptr<midi::SoundSource>(m_model.JackRows()) : nullptr);
}

void PadInput::PlayNote(int note, int velocity, bool sounded) {
    // The note sounds on the caller's thread, so that a busy window does not
    // delay it; the window shows it afterwards. Where it cannot sound there
    // (a lost device, which only the window's thread opens again), the
    // window's thread plays it. A JACK note may sound at the JACK outputs
    // already, from its own frame.
    const int row = midi::RowForNote(note);
    sounded = sounded || m_model.StrikeSlotFromInput(row - 1, midi::GainForVelocity(velocity));
    QMetaObject::invokeMethod(
        this,
        [this, row, velocity, sounded] {
            if (!sounded) {
                (void)Strike(row, velocity);
                return;
            }
            emit Struck(row - 1);
            m_model.ShowStruck(row - 1);
        },
        Qt::QueuedConnection);
}

void PadInput::StopMidi() {
    m_midi.Stop();
    m_midiStarted = false;
}

void PadInput::SetMidiSettings(const midi::InputSettings& settings) {
    m_settings = settings;
    if (m_midiStarted) StartMidi(nullptr);
}

void PadInput::SetOutput(SoundOutput output) {
    m_output = output;
    if (m_midiStarted) StartMidi(nullptr);
}

void PadInput::SaveSettings(ProfileStore& profile) const {
    if (m_outputRead || m_output != SoundOutput::Automatic) {
        profile.WriteProfileString(SectionOutput, KeyOutput,
                                   OutputNames[static_cast<size_t>(m_output)]);
    }
    // A profile that never had the section stays as it was.
    if (!m_settingsRead && m_settings == midi::InputSettings{}) return;
    profile.WriteProfileInt(SectionMidi, KeyAlsa, m_settings.alsa ? 1 : 0);
    profile.WriteProfileInt(SectionMidi, KeyJack, m_settings.jack ? 1 : 0);
    profile.WriteProfileInt(SectionMidi, KeyAutoConnect, m_settings.autoConnect ? 1 : 0);
    profile.WriteProfileInt(SectionMidi, KeyChannel, m_settings.channel);
}

void PadInput::AddMenuItems(QMenu& menu) {
    QAction* stop = menu.addAction(tr("S&top all sounds"));
    stop->setShortcut(QKeySequence(Qt::Key_Backspace));
    connect(stop, &QAction::triggered, this, &PadInput::StopAll);
    AddMidiMenu(menu);
    AddSoundOutputMenu(menu);
}

void PadInput::AddSoundOutputMenu(QMenu& menu) {
    QMenu* sub = menu.addMenu(tr("Sound out&put"));
    sub->addAction(m_midi.HasJackOutput() ? tr("Pads and MIDI play at JACK: %1:out_1, out_2")
                                                .arg(QString::fromLatin1(midi::JackClientName))
                                          : tr("Pads and MIDI play on the sound device"))
        ->setEnabled(false);
    sub->addSeparator();
    auto* group = new QActionGroup(sub);  // owned by the submenu
    const std::array<QString, 3> texts = {tr("&Automatic (JACK when MIDI comes from JACK)"),
                                          tr("&JACK outputs"), tr("Sound &device")};
    for (size_t i = 0; i < texts.size(); ++i) {
        const auto output = static_cast<SoundOutput>(i);
        QAction* action = sub->addAction(texts[i]);
        action->setCheckable(true);
        action->setChecked(m_output == output);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, output] { SetOutput(output); });
    }
}

void PadInput::AddMidiMenu(QMenu& menu) {
    QMenu* sub = menu.addMenu(tr("M&IDI input"));
    auto addInfo = [sub](const QString& text) { sub->addAction(text)->setEnabled(false); };
    if (!m_midi.HasAlsa() && !m_midi.HasJack()) {
        addInfo(m_settings.alsa || m_settings.jack
                    ? tr("No MIDI system found (no ALSA sequencer, no JACK server)")
                    : tr("MIDI input is off"));
    } else {
        const std::vector<std::string> sources = m_midi.Sources();
        if (sources.empty()) addInfo(tr("Nothing connected"));
        for (const std::string& source : sources) addInfo(QString::fromStdString(source));
    }
    sub->addSeparator();

    auto addToggle = [this, sub](const QString& text, bool midi::InputSettings::*field) {
        QAction* action = sub->addAction(text);
        action->setCheckable(true);
        action->setChecked(m_settings.*field);
        connect(action, &QAction::toggled, this, [this, field](bool on) {
            midi::InputSettings settings = m_settings;
            settings.*field = on;
            SetMidiSettings(settings);
        });
    };
    addToggle(tr("ALSA &sequencer"), &midi::InputSettings::alsa);
    addToggle(tr("&JACK"), &midi::InputSettings::jack);
    addToggle(tr("Connect &hardware automatically"), &midi::InputSettings::autoConnect);

    QMenu* channels = sub->addMenu(tr("&Channel"));
    auto* group = new QActionGroup(channels);  // owned by the submenu
    for (int channel = 0; channel <= 16; ++channel) {
        QAction* action = channels->addAction(channel == 0 ? tr("&Any") : QString::number(channel));
        action->setCheckable(true);
        action->setChecked(m_settings.channel == channel);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, channel] {
            midi::InputSettings settings = m_settings;
            settings.channel = channel;
            SetMidiSettings(settings);
        });
    }
}
