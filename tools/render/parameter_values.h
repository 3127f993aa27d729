// Parameter values as a user writes them: a bare number from 0 to 1 (the
// interface's own scale), or a number in the unit the plug-in shows, such as
// "2.5s", "40ms" or "35%", turned into the 0..1 value through the plug-in's
// own display texts.
#pragma once

#include <string>

#include "vst2/aeffect.h"

namespace render {

struct WrittenValue {
    double number = 0.0;
    std::string unit;  // empty for a bare number
};

// Splits "2.5s", "40 ms", "35%" or "0.8" into its number and unit; false when
// the text does not start with a finite number.
bool splitWrittenValue(const std::string& text, WrittenValue& value);

struct ResolvedValue {
    float value = 0.0f;  // what setParameter is given
    std::string shown;   // the plug-in's display and unit at that value, e.g. "2.50 s"
};

// The 0..1 value for a written value of the parameter at `index`. Throws
// UsageError, naming the parameter's range where it has one, for a value
// outside the range or a unit the parameter does not show. The parameter is
// left at the value it had.
ResolvedValue resolveParameterValue(vst::AEffect* effect, int index, const std::string& text);

}  // namespace render
