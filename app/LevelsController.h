#pragma once

#include <QObject>

#include <utility>
#include <vector>

#include "core/SlotModel.h"

class WindowContext;

// "Match levels..." of the panel's context menu, and rows loaded again
// with new options as one change.
class LevelsController : public QObject {
    Q_OBJECT
public:
    explicit LevelsController(WindowContext& context, QObject* parent = nullptr);

    // Measures the loaded rows and, after Apply, loads each again with the
    // loudness that matches it, all in one step. False when nothing was
    // changed.
    bool MatchLevels();
    // Loads rows again with new options, as one change.
    bool ApplyRowOptions(const std::vector<std::pair<int, VoiceOptions>>& changes);

private:
    WindowContext& m_context;
};
