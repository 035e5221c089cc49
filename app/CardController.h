#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <string>

class QMenu;
class QShortcut;
class WindowContext;

// "Card..." of the context menu and Ctrl+K: the card view over the
// window's volumes (core/CardBanks.h). Open there asks the window to open
// the chosen bank, as Open bank does.
class CardController : public QObject {
    Q_OBJECT
public:
    explicit CardController(WindowContext& context, QObject* parent = nullptr);
    ~CardController() override;

    // Adds "Card..." with its key.
    void AddMenuItems(QMenu& menu);
    // Shows the card view until it is closed; false when it did not open
    // (the window is busy or closing).
    bool ShowCardView();

signals:
    // Open was chosen for the bank at path.
    void OpenBankAsked(const QString& path);
    // Open was chosen for a kept copy of the card's bank.
    void OpenCopyAsked(const QString& copy, const QString& bank);

private:
    WindowContext& m_context;
    std::unique_ptr<QShortcut> m_shortcut;
    bool m_showing = false;
    std::string m_lastVolume;  // the root chosen in the view last time
};
