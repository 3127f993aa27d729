#include "progress.h"

#include <cstdio>

namespace render {

namespace {

constexpr double kProgressDelaySeconds = 1.0;     // runs quicker than this show no bar
constexpr double kProgressIntervalSeconds = 0.1;  // redraws at most this often
constexpr int kProgressBarWidth = 40;
constexpr int kProgressLineWidth = kProgressBarWidth + 40;

double secondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

ProgressLine::ProgressLine(bool enabled, std::size_t files)
    : enabled_(enabled), fractions_(files, 0.0), start_(Clock::now()), lastDraw_(start_) {}

ProgressLine::~ProgressLine() {
    const std::lock_guard<std::mutex> lock(mutex_);
    clearLocked();
}

void ProgressLine::update(std::size_t file, double inputFraction, double tailSeconds) {
    if (!enabled_) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (file < fractions_.size()) fractions_[file] = inputFraction;
    tailSeconds_ = tailSeconds;
    const Clock::time_point now = Clock::now();
    if (secondsBetween(start_, now) < kProgressDelaySeconds || secondsBetween(lastDraw_, now) < kProgressIntervalSeconds) {
        return;
    }
    drawLocked(now);
}

void ProgressLine::finished(std::size_t file) {
    if (!enabled_) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (file < fractions_.size()) fractions_[file] = 1.0;
    ++finished_;
    if (drawn_) drawLocked(Clock::now());
}

void ProgressLine::message(const std::string& line) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const bool redraw = drawn_;
    clearLocked();
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    if (redraw) drawLocked(Clock::now());
}

void ProgressLine::drawLocked(Clock::time_point now) {
    lastDraw_ = now;
    drawn_ = true;
    double done = 0.0;
    for (const double fraction : fractions_) done += fraction;
    const double fraction = fractions_.empty() ? 1.0 : done / static_cast<double>(fractions_.size());
    const int filled = static_cast<int>(fraction * kProgressBarWidth);
    char status[64];
    if (fractions_.size() > 1) {
        std::snprintf(status, sizeof(status), "%zu of %zu files", finished_, fractions_.size());
    } else if (fraction >= 1.0) {
        std::snprintf(status, sizeof(status), "tail %.1f s", tailSeconds_);
    } else {
        std::snprintf(status, sizeof(status), "%3d%%", static_cast<int>(fraction * 100.0));
    }
    std::fprintf(stderr, "\rrendering [%.*s%*s] %-24s", filled, "########################################",
                 kProgressBarWidth - filled, "", status);
    std::fflush(stderr);
}

void ProgressLine::clearLocked() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r%*s\r", kProgressLineWidth, "");
    drawn_ = false;
}

}  // namespace render
