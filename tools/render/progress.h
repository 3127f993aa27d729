// The progress line on standard error, for one file or a batch of them.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace render {

// One line for the whole run: it appears only once the run has taken about a
// second, redraws at most ten times a second and is cleared when the run ends.
// Every call may come from any thread; one lock keeps the line and the
// messages printed above it whole.
class ProgressLine {
  public:
    ProgressLine(bool enabled, std::size_t files);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // How far one file has come: the share of its input rendered, then the
    // seconds of tail after it.
    void update(std::size_t file, double inputFraction, double tailSeconds);
    void finished(std::size_t file);
    // A line for standard error (a failure, a warning), printed above the bar.
    void message(const std::string& line);

  private:
    using Clock = std::chrono::steady_clock;
    void drawLocked(Clock::time_point now);
    void clearLocked();

    bool enabled_;
    std::mutex mutex_;
    std::vector<double> fractions_;  // per file, 0..1
    double tailSeconds_ = 0.0;       // of the last file reported, shown for a single file
    std::size_t finished_ = 0;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};

}  // namespace render
