#include "app/SettingsController.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "app/BrowseController.h"
#include "app/PadInput.h"
#include "app/ProfileStore.h"
#include "app/RowOptions.h"
#include "app/RowsView.h"
#include "app/WindowContext.h"
#include "res/SkinLayout.h"

namespace {

const QString SectionWindow = QStringLiteral("WindowInfo");
const QString SectionVolume = QStringLiteral("LoadVolumeInfo");
const QString SectionFiles = QStringLiteral("FilePathInfo");
const QString SectionOptions = QStringLiteral("Options");
const QString KeyConvertFormats = QStringLiteral("ConvertFormats");

QString SlotKey(int slot) { return QString::asprintf("File%02d", slot + 1); }

}  // namespace

SettingsController::SettingsController(WindowContext& context, BrowseController& browse,
                                       PadInput& pads, QObject* parent)
    : QObject(parent), m_context(context), m_browse(browse), m_pads(pads) {}

QPoint SettingsController::PositionToStore(const QString& platformName, QPoint current,
                                           QPoint read) {
    // Wayland neither moves top-level windows nor reports where they are.
    return platformName.startsWith(QLatin1String("wayland")) ? read : current;
}

QPoint SettingsController::PlaceOnScreen(QPoint saved) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return saved;
    // In 64 bits: a hand-edited position near the int limits must not wrap
    // around onto a screen.
    const qint64 left = saved.x(), top = saved.y();
    const qint64 right = left + SkinPanelSize, bottom = top + SkinPanelSize;
    for (const QScreen* screen : screens) {
        const QRect g = screen->geometry();
        if (left <= g.right() && right > g.left() && top <= g.bottom() && bottom > g.top())
            return saved;
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary != nullptr ? primary->geometry().topLeft() : QPoint(0, 0);
}

bool SettingsController::LoadSettings() {
    ProfileStore* profile = m_context.profile;
    if (profile == nullptr) return false;
    SlotModel& model = m_context.model;
    const int x = profile->GetProfileInt(SectionWindow, QStringLiteral("PosX"), 0);
    const int y = profile->GetProfileInt(SectionWindow, QStringLiteral("PosY"), 0);
    m_savedPosition = QPoint(x, y);
    m_context.lastVolume =
        profile->GetProfileString(SectionVolume, QStringLiteral("Volume"), QString());
    // Before the rows: restored files convert as later loads do.
    const QString convert = profile->GetProfileString(SectionOptions, KeyConvertFormats, QString());
    m_convertKeyRead = !convert.isEmpty();
    model.SetConvertFormats(ParseProfileInt(convert, 0) == 1);
    for (int i = 0; i < SlotCount; ++i) {
        const QString path = profile->GetProfileString(SectionFiles, SlotKey(i), QString());
        // Kept even when the file cannot be loaded now: tried again next time.
        const VoiceOptions options = ReadRowOptions(*profile, i);
        model.RestoreSlot(i, ToModelPath(path), options);
        if (path.isEmpty()) continue;
        // The window shows at once; the rows fill in as their jobs end.
        m_context.restoring[static_cast<size_t>(i)] = true;
        m_context.rows->UpdateRowControls(i);
    }
    m_browse.LoadSettings(*profile);
    m_context.window.move(PlaceOnScreen(m_savedPosition));
    m_settingsLoaded = true;
    return true;
}

bool SettingsController::SaveSettings() {
    ProfileStore* profile = m_context.profile;
    if (profile == nullptr) return false;
    // Initialisation stopped before the settings were read: what is stored
    // stays as it is.
    if (!m_settingsLoaded) return true;
    const SlotModel& model = m_context.model;
    const QPoint position =
        PositionToStore(QGuiApplication::platformName(), m_context.window.pos(), m_savedPosition);
    profile->WriteProfileInt(SectionWindow, QStringLiteral("PosX"), position.x());
    profile->WriteProfileInt(SectionWindow, QStringLiteral("PosY"), position.y());
    profile->WriteProfileString(SectionVolume, QStringLiteral("Volume"), m_context.lastVolume);
    for (int i = 0; i < SlotCount; ++i) {
        profile->WriteProfileString(SectionFiles, SlotKey(i), m_context.SlotPath(i));
        WriteRowOptions(*profile, i, model.SlotOptions(i));
    }
    // A profile that never had the option stays as it was.
    if (model.ConvertFormats() || m_convertKeyRead)
        profile->WriteProfileInt(SectionOptions, KeyConvertFormats, model.ConvertFormats() ? 1 : 0);
    m_pads.SaveSettings(*profile);
    m_browse.SaveSettings(*profile);
    profile->Flush();
    return true;
}
