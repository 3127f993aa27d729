#include <gtest/gtest.h>

#include "editor/interaction.h"

namespace {

TEST(EditorPress, CircleEdgeCountsAsInsideInExactIntegers) {
    EXPECT_EQ(orbelune::knobAt(130 + 46, 165), 0);          // "Decay", on the edge
    EXPECT_EQ(orbelune::knobAt(130 + 47, 165), -1);
    EXPECT_EQ(orbelune::knobAt(700, 375 - 40), 5);          // "Mix", top of the edge
    EXPECT_EQ(orbelune::knobAt(320 + 24, 375 + 32), 3);     // 24² + 32² = 40² exactly
    EXPECT_EQ(orbelune::knobAt(320 + 25, 375 + 32), -1);
    EXPECT_EQ(orbelune::knobAt(130, 165 + 46 + 14), -1);    // on the label under the knob
    EXPECT_EQ(orbelune::knobAt(420, 172), -1);              // the visual panel
}

}  // namespace
