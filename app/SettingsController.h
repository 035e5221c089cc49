#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

class BrowseController;
class PadInput;
class WindowContext;

// The settings: read once while the window initialises, written once when
// it ends; the window's position among them.
class SettingsController : public QObject {
    Q_OBJECT
public:
    SettingsController(WindowContext& context, BrowseController& browse, PadInput& pads,
                       QObject* parent = nullptr);

    // Both return false when the window has no profile.
    bool LoadSettings();
    bool SaveSettings();

    // The position to store at exit: the window's own where the platform
    // (by its Qt platform name) places windows and reports where they are,
    // else the position read at start, kept as it was (Wayland).
    [[nodiscard]] static QPoint PositionToStore(const QString& platformName, QPoint current,
                                                QPoint read);

private:
    [[nodiscard]] static QPoint PlaceOnScreen(QPoint saved);

    WindowContext& m_context;
    BrowseController& m_browse;
    PadInput& m_pads;
    bool m_settingsLoaded = false;  // only settings that were read are written back
    bool m_convertKeyRead = false;  // the profile holds the option: written back even when off
    QPoint m_savedPosition;         // as read, kept where the platform cannot place windows
};
