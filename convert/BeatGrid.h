#pragma once

// The steady grid a drum loop is played on: its plain hits give the pulse
// (the coarsest step of 75 ms to 1 s they all keep to), its soft notes the
// part of it they fall on (a half, a third ... an eighth of it, no finer
// than 75 ms), e.g. sixteenths under a pulse of eighths. The slicer asks how
// far a doubtful hit lies from the nearest line: a soft note on the grid is
// played, a bump in a tail between lines is not. Fitted piece by piece, so
// that a long recording whose tempo wanders gets a grid where it holds
// steady and none where it does not.

#include <cstdint>
#include <optional>
#include <vector>

class BeatGrid {
public:
    // The grid of the plain hits' starts and the doubtful ones' (ascending
    // frames at rate), fitted over pieces of about kPieceSeconds each, each
    // to the starts from half a piece before it to half a piece after it (a
    // drummer a little faster by the end is followed); a piece with fewer
    // than kMinStarts plain hits there, or none that keep to a step, has no
    // grid.
    [[nodiscard]] static BeatGrid Find(const std::vector<int64_t>& plain,
                                       const std::vector<int64_t>& doubtful, int64_t frames,
                                       int rate);

    // How far frame lies from the nearest line of its piece's grid, in
    // seconds; nullopt where there is no grid.
    [[nodiscard]] std::optional<double> Distance(int64_t frame) const;

    [[nodiscard]] bool Empty() const { return m_pieces.empty(); }
    // The step of the piece holding frame, in seconds (0 without a grid).
    [[nodiscard]] double StepAt(int64_t frame) const;

    static constexpr double kPieceSeconds = 6.0;
    static constexpr int kMinStarts = 8;
    // A doubtful hit this near a line counts as on it when the soft notes'
    // part of the pulse is chosen.
    static constexpr double kOnLineSeconds = 0.012;

private:
    struct Piece {
        int64_t from = 0;  // frames from..to
        int64_t to = 0;
        double step = 0.0;   // seconds
        double phase = 0.0;  // a line, in seconds from the source's start
    };
    [[nodiscard]] const Piece* PieceAt(int64_t frame) const;

    int m_rate = 0;
    std::vector<Piece> m_pieces;
};
