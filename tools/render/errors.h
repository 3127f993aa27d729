// The renderer's one kind of failure: a message for the user, printed as one
// line, and a non-zero exit.
#pragma once

#include <stdexcept>
#include <string>

namespace render {

struct RenderError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Failures of the command line itself exit with a different status, so that
// scripts can tell a typo from a failed render.
struct UsageError : RenderError {
    using RenderError::RenderError;
};

}  // namespace render
