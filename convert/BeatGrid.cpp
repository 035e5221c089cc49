#include "convert/BeatGrid.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

namespace {

constexpr double kShortestStep = 0.075;
constexpr double kLongestPulse = 1.0;
// Steps are tried as rates (lines a second), so finely that the last start
// of a piece slips at most this part of a step between two tries.
constexpr double kSlipPerTry = 0.05;
// How well starts keep to a step: the length of the mean of their phases
// as unit vectors (1 when every start is on a line; a drummer's few
// milliseconds either side cost little, starts at random give about 0).
constexpr double kMinFit = 0.7;
// The pulse is the coarsest step that fits nearly as well as the best one:
// a step that every plain hit keeps to is finer than a step that only some
// do, and a finer part of it fits as well.
constexpr double kNearlyAsWell = 0.9;
// Around that step the best fit is looked for this far either side (a part
// of the rate).
constexpr double kRefineReach = 0.02;
// The parts of the pulse the soft notes may fall on.
constexpr int kParts[] = {1, 2, 3, 4, 6, 8};
constexpr double kTwoPi = 6.283185307179586;

struct Pulse {
    double step = 0.0;
    double phase = 0.0;
};

double LineDistance(double t, double step, double phase) {
    const double x = (t - phase) / step;
    return std::fabs(x - std::round(x)) * step;
}

// The pulse the times (seconds, ascending) keep to; nullopt when they keep
// to none.
std::optional<Pulse> FindPulse(const std::vector<double>& times) {
    const double origin = times.front();
    const double span = times.back() - origin;
    if (!(span > 0.0)) return std::nullopt;
    const double lowRate = 1.0 / kLongestPulse;
    const double rateStep = kSlipPerTry / span;
    const auto tries = static_cast<size_t>((1.0 / kShortestStep - lowRate) / rateStep) + size_t{1};
    std::vector<std::complex<double>> sums(tries);
    for (const double t : times) {
        // Each start's phase at every rate tried, by turning one step at a
        // time rather than a sine and cosine per try.
        std::complex<double> phase = std::polar(1.0, kTwoPi * (t - origin) * lowRate);
        const std::complex<double> turn = std::polar(1.0, kTwoPi * (t - origin) * rateStep);
        for (auto& sum : sums) {
            sum += phase;
            phase *= turn;
        }
    }
    const auto fit = [&](size_t k) {
        return std::abs(sums[k]) / static_cast<double>(times.size());
    };
    double best = 0.0;
    for (size_t k = 0; k < tries; ++k) best = std::max(best, fit(k));
    size_t coarsest = 0;
    while (coarsest + 1 < tries && fit(coarsest) < kNearlyAsWell * best) ++coarsest;
    const double coarsestRate = lowRate + static_cast<double>(coarsest) * rateStep;
    const auto reach = static_cast<size_t>(kRefineReach * coarsestRate / rateStep);
    size_t chosen = coarsest;
    for (size_t k = coarsest > reach ? coarsest - reach : 0;
         k < std::min(tries, coarsest + reach + 1); ++k)
        if (fit(k) > fit(chosen)) chosen = k;
    if (fit(chosen) < kMinFit) return std::nullopt;
    const double lines = lowRate + static_cast<double>(chosen) * rateStep;
    return Pulse{1.0 / lines, origin + std::arg(sums[chosen]) / (kTwoPi * lines)};
}

// How plainly the times gather on the lines of step: how many lie on one
// against how many would by chance, in standard deviations.
double Gathering(const std::vector<double>& times, double step, double phase) {
    if (times.empty()) return 0.0;
    const double chance = std::min(1.0, 2.0 * BeatGrid::kOnLineSeconds / step);
    const auto on = static_cast<double>(std::count_if(times.begin(), times.end(), [&](double t) {
        return LineDistance(t, step, phase) <= BeatGrid::kOnLineSeconds;
    }));
    const auto n = static_cast<double>(times.size());
    return (on - n * chance) / std::sqrt(n * chance * (1.0 - chance) + 1e-9);
}

}  // namespace

BeatGrid BeatGrid::Find(const std::vector<int64_t>& plain, const std::vector<int64_t>& doubtful,
                        int64_t frames, int rate) {
    BeatGrid grid;
    grid.m_rate = rate;
    if (rate <= 0 || frames <= 0) return grid;
    const double seconds = static_cast<double>(frames) / rate;
    const int64_t pieces = std::max<int64_t>(1, std::llround(seconds / kPieceSeconds));
    // Each piece is fitted to the starts of half a piece either side too.
    const auto reach = static_cast<int64_t>(kPieceSeconds / 2 * rate);
    const auto within = [&](const std::vector<int64_t>& starts, const Piece& piece) {
        std::vector<double> times;
        for (auto s = std::lower_bound(starts.begin(), starts.end(), piece.from - reach);
             s != starts.end() && *s < piece.to + reach; ++s)
            times.push_back(static_cast<double>(*s) / rate);
        return times;
    };
    for (int64_t p = 0; p < pieces; ++p) {
        Piece piece;
        piece.from = p * frames / pieces;
        piece.to = (p + 1) * frames / pieces;
        const std::vector<double> times = within(plain, piece);
        if (static_cast<int>(times.size()) < kMinStarts) continue;
        const std::optional<Pulse> pulse = FindPulse(times);
        if (!pulse) continue;
        const std::vector<double> soft = within(doubtful, piece);
        double gathered = -std::numeric_limits<double>::infinity();
        for (const int part : kParts) {
            const double step = pulse->step / part;
            if (part > 1 && step < kShortestStep) break;  // the pulse itself always counts
            if (const double g = Gathering(soft, step, pulse->phase); g > gathered) {
                gathered = g;
                piece.step = step;
            }
        }
        piece.phase = pulse->phase;
        grid.m_pieces.push_back(piece);
    }
    return grid;
}

const BeatGrid::Piece* BeatGrid::PieceAt(int64_t frame) const {
    // Pieces lie in order; those without a grid are left out.
    const auto after =
        std::upper_bound(m_pieces.begin(), m_pieces.end(), frame,
                         [](int64_t f, const Piece& piece) { return f < piece.from; });
    if (after == m_pieces.begin()) return nullptr;
    const Piece& piece = *(after - 1);
    return frame < piece.to ? &piece : nullptr;
}

std::optional<double> BeatGrid::Distance(int64_t frame) const {
    const Piece* piece = PieceAt(frame);
    if (piece == nullptr) return std::nullopt;
    return LineDistance(static_cast<double>(frame) / m_rate, piece->step, piece->phase);
}

double BeatGrid::StepAt(int64_t frame) const {
    const Piece* piece = PieceAt(frame);
    return piece != nullptr ? piece->step : 0.0;
}
