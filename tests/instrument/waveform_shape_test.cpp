#include "instrument/waveform_shape.h"

#include <gtest/gtest.h>

#include <cmath>

using varlo::Waveform;
using varlo::instrument::attenuatorGain;
using varlo::instrument::waveformLevel;

namespace {

TEST(WaveformShape, SquareIsHighForTheDutyPartOfThePeriod)
{
    for (const int duty : {20, 50, 75, 80}) {
        const double edge = duty / 100.0;
        EXPECT_EQ(waveformLevel(Waveform::Square, duty, edge - 0.001), 1.0) << duty;
        EXPECT_EQ(waveformLevel(Waveform::Square, duty, edge + 0.001), -1.0) << duty;
    }
}

TEST(WaveformShape, TriangleAndSineShareTheirPeaksAndZeros)
{
    for (const double phase : {0.0, 0.25, 0.5, 0.75}) {
        EXPECT_NEAR(waveformLevel(Waveform::Triangle, 50, phase),
                    waveformLevel(Waveform::Sine, 50, phase), 1e-12)
            << phase;
    }
    EXPECT_NEAR(waveformLevel(Waveform::Triangle, 50, 0.125), 0.5, 1e-12);
}

TEST(WaveformShape, AttenuatorTakesTwentyDecibelsOffTheAmplitude)
{
    EXPECT_NEAR(20.0 * std::log10(attenuatorGain(true) / attenuatorGain(false)), -20.0, 1e-9);
}

} // namespace
