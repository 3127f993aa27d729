#include "parameter_values.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "errors.h"
#include "plugin_host.h"

namespace render {

namespace {

// The floats from 0 to 1, in order, are the integers from 0 to this one read
// as bit patterns, so a bisection over those integers ends on one exact float.
constexpr std::uint32_t kBitsOfOne = 0x3F800000u;

float floatWithBits(std::uint32_t bits) {
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

std::string trimmed(const std::string& text) {
    const auto isSpace = [](unsigned char character) { return std::isspace(character) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

bool sameIgnoringCase(const std::string& first, const std::string& second) {
    return first.size() == second.size() &&
           std::equal(first.begin(), first.end(), second.begin(), [](unsigned char a, unsigned char b) {
               return std::tolower(a) == std::tolower(b);
           });
}

// A display text read as a number and what follows it. Displays may show
// "-inf" for a level, so infinities count as numbers here.
struct ShownText {
    bool isNumber = false;
    double number = 0.0;
    std::string numberText;  // as the plug-in wrote it
    std::string rest;        // the text after the number, trimmed
};

ShownText readShown(const std::string& display) {
    ShownText shown;
    const std::string text = trimmed(display);
    char* end = nullptr;
    errno = 0;
    shown.number = std::strtod(text.c_str(), &end);
    shown.isNumber = end != text.c_str() && errno == 0 && !std::isnan(shown.number);
    if (!shown.isNumber) return shown;
    const std::size_t length = static_cast<std::size_t>(end - text.c_str());
    shown.numberText = text.substr(0, length);
    shown.rest = trimmed(text.substr(length));
    return shown;
}

// Finds a parameter's value by its display. The display is read by setting a
// trial value and asking for effGetParamDisplay, which any plug-in answers;
// the value the parameter had is put back when done.
class DisplaySearch {
  public:
    DisplaySearch(vst::AEffect* effect, int index, const std::string& text)
        : effect_(effect), index_(index), text_(text), name_(pluginText(effect, vst::effGetParamName, index)) {
        // Without getParameter the value could not be put back afterwards.
        canProbe_ = effect->setParameter != nullptr && effect->getParameter != nullptr;
        if (!canProbe_) return;
        saved_ = effect->getParameter(effect, index);
        low_ = shownAt(0.0f);
        high_ = shownAt(1.0f);
        const std::string label = trimmed(pluginText(effect, vst::effGetParamLabel, index));
        unit_ = label.empty() ? high_.rest : label;
    }
    ~DisplaySearch() {
        if (canProbe_) effect_->setParameter(effect_, index_, saved_);
    }
    DisplaySearch(const DisplaySearch&) = delete;
    DisplaySearch& operator=(const DisplaySearch&) = delete;

    // A scale the renderer can search: numbers at both ends, rising, in a unit.
    bool hasScale() const {
        return canProbe_ && low_.isNumber && high_.isNumber && high_.number > low_.number && !unit_.empty();
    }
    // "Decay takes 0.30 to 15.00 s"
    std::string range() const { return name_ + " takes " + low_.numberText + " to " + high_.numberText + " " + unit_; }
    const std::string& unit() const { return unit_; }
    double lowest() const { return low_.number; }
    double highest() const { return high_.number; }
    const std::string& name() const { return name_; }

    // Why a value with a unit cannot be searched for on this parameter.
    std::string whyNoScale() const {
        if (!canProbe_) return name_ + " cannot be read back";
        if (!low_.isNumber || !high_.isNumber) return name_ + " does not show its value as a number";
        if (high_.number <= low_.number) return name_ + "'s display does not rise with its value";
        return name_ + " shows no unit";
    }

    // The value whose display shows `number`: the displays around it are
    // bracketed by bisection, the display step nearest the number is taken,
    // and of the run of values that show that step, the middle one. Each
    // bisection takes about 30 trials, one per bit of a float below 1.
    ResolvedValue find(double number) {
        const float firstAbove = firstShowingAtLeast(number);
        const float lastBelow = lastShowingAtMost(number);
        const double above = numberAt(firstAbove);
        const double below = numberAt(lastBelow);
        double step = above;
        float runStart = firstAbove;
        float runEnd = lastBelow;
        if (above != number) {
            // Between two steps of the display: the nearer one.
            if (number - below <= above - number) {
                step = below;
                runStart = firstShowingAtLeast(below);
            } else {
                runEnd = lastShowingAtMost(above);
            }
        }
        // A display rounds, so the run of values that show a step lies around
        // the value of the step itself, and its middle is the best guess at it.
        // At either end of the range the run is cut short, and the end is the
        // step's own value ("0 %" is 0, "100 %" is 1).
        float middle = static_cast<float>((static_cast<double>(runStart) + static_cast<double>(runEnd)) / 2.0);
        if (runStart == 0.0f) middle = 0.0f;
        if (runEnd == 1.0f) middle = 1.0f;
        if (runStart > runEnd || numberAt(middle) != step) {
            refuse("cannot be found: " + name_ + "'s display does not rise steadily with its value; give a number "
                   "from 0 to 1");
        }
        return {middle, shownTextAt(middle)};
    }

    // The display and label at a value, e.g. "2.50 s"; empty for a parameter
    // that cannot be set.
    std::string shownTextAt(float value) {
        if (!canProbe_) return "";
        const ShownText shown = shownAt(value);
        const std::string display = trimmed(pluginText(effect_, vst::effGetParamDisplay, index_));
        const std::string label = trimmed(pluginText(effect_, vst::effGetParamLabel, index_));
        if (!shown.isNumber || label.empty()) return display;
        return display + " " + label;
    }

    [[noreturn]] void refuse(const std::string& reason) const {
        throw UsageError("value \"" + text_ + "\" for " + name_ + " " + reason);
    }

  private:
    ShownText shownAt(float value) {
        effect_->setParameter(effect_, index_, value);
        return readShown(pluginText(effect_, vst::effGetParamDisplay, index_));
    }

    double numberAt(float value) {
        const ShownText shown = shownAt(value);
        if (!shown.isNumber) {
            refuse("cannot be found: " + name_ + " does not show a number at every value; give a number from 0 to 1");
        }
        return shown.number;
    }

    // The smallest value whose display is at least `number` (at most the top).
    float firstShowingAtLeast(double number) {
        if (numberAt(0.0f) >= number) return 0.0f;
        std::uint32_t below = 0;  // shows less than the number
        std::uint32_t atLeast = kBitsOfOne;
        while (atLeast - below > 1) {
            const std::uint32_t middle = below + (atLeast - below) / 2;
            (numberAt(floatWithBits(middle)) >= number ? atLeast : below) = middle;
        }
        return floatWithBits(atLeast);
    }

    // The largest value whose display is at most `number` (at least the bottom).
    float lastShowingAtMost(double number) {
        if (numberAt(1.0f) <= number) return 1.0f;
        std::uint32_t atMost = 0;
        std::uint32_t above = kBitsOfOne;  // shows more than the number
        while (above - atMost > 1) {
            const std::uint32_t middle = atMost + (above - atMost) / 2;
            (numberAt(floatWithBits(middle)) <= number ? atMost : above) = middle;
        }
        return floatWithBits(atMost);
    }

    vst::AEffect* effect_;
    int index_;
    std::string text_;
    std::string name_;
    bool canProbe_ = false;
    float saved_ = 0.0f;
    ShownText low_;
    ShownText high_;
    std::string unit_;
};

}  // namespace

bool splitWrittenValue(const std::string& text, WrittenValue& value) {
    const std::string written = trimmed(text);
    if (written.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value.number = std::strtod(written.c_str(), &end);
    if (end == written.c_str() || errno != 0 || !std::isfinite(value.number)) return false;
    value.unit = trimmed(written.substr(static_cast<std::size_t>(end - written.c_str())));
    return true;
}

ResolvedValue resolveParameterValue(vst::AEffect* effect, int index, const std::string& text) {
    WrittenValue written;
    DisplaySearch search(effect, index, text);
    if (!splitWrittenValue(text, written)) search.refuse("is not a number");
    if (written.unit.empty()) {
        if (written.number >= 0.0 && written.number <= 1.0) {
            const float value = static_cast<float>(written.number);
            return {value, search.shownTextAt(value)};
        }
        if (!search.hasScale()) search.refuse("must be a number from 0 to 1");
        search.refuse("must be a number from 0 to 1, or have a unit: " + search.range());
    }
    if (!search.hasScale()) search.refuse("has a unit, but " + search.whyNoScale() + "; give a number from 0 to 1");
    if (!sameIgnoringCase(written.unit, search.unit())) {
        search.refuse("is in " + written.unit + ", which " + search.name() + " does not show: " + search.range());
    }
    if (written.number < search.lowest() || written.number > search.highest()) {
        search.refuse("is out of range: " + search.range());
    }
    return search.find(written.number);
}

}  // namespace render
