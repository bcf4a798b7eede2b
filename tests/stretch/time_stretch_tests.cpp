// The time-stretch fed synthetic signals: lengths, pitch, clicks and the
// timeline, at the speeds of either end and across changes.
#include <gtest/gtest.h>
#include "time_stretch.h"
#include <cmath>
#include <vector>

namespace {

constexpr int kRate = 44100;

std::vector<int16_t> Tone(double hz, int frames, int channels = 1) {
    std::vector<int16_t> pcm(static_cast<size_t>(frames) * channels);
    const double pi = std::acos(-1.0);
    for (int n = 0; n < frames; ++n)
        for (int c = 0; c < channels; ++c) pcm[n * channels + c] = static_cast<int16_t>(12000 * std::sin(2 * pi * hz * n / kRate));
    return pcm;
}

// Fed in uneven pieces (as a file is read), taken as it comes; `speedAt`
// may change the speed before each piece.
std::vector<int16_t> Stretched(TimeStretch &s, const std::vector<int16_t> &pcm, int channels,
                         int (*speedAt)(int piece) = nullptr) {
    std::vector<int16_t> out, buffer(4096 * channels);
    const size_t frames = pcm.size() / channels;
    size_t at = 0;
    for (int piece = 0; at < frames; ++piece) {
        if (speedAt) StretchSetSpeed(&s, speedAt(piece));
        const size_t n = std::min<size_t>(frames - at, 997 + piece * 331 % 2000);
        StretchPut(&s, pcm.data() + at * channels, n);
        at += n;
        for (size_t got; (got = StretchTake(&s, buffer.data(), 4096));) out.insert(out.end(), buffer.begin(), buffer.begin() + got * channels);
    }
    StretchEnd(&s);
    for (size_t got; (got = StretchTake(&s, buffer.data(), 4096));) out.insert(out.end(), buffer.begin(), buffer.begin() + got * channels);
    return out;
}

// Hz from the rising zero crossings of the middle half.
double Frequency(const std::vector<int16_t> &pcm) {
    const size_t from = pcm.size() / 4, to = pcm.size() * 3 / 4;
    size_t first = 0, last = 0, crossings = 0;
    for (size_t i = from + 1; i < to; ++i)
        if (pcm[i - 1] < 0 && pcm[i] >= 0) {
            if (!crossings) first = i;
            last = i;
            ++crossings;
        }
    return crossings > 1 ? (crossings - 1) * static_cast<double>(kRate) / (last - first) : 0.0;
}

TEST(TimeStretch, LengthsComeOutExactAndATonesPitchIsKept) {
    const std::vector<int16_t> tone = Tone(220.0, kRate * 2, 2);
    for (int percent : {25, 50, 75, 150, 200, 300}) {
        TimeStretch s;
        ASSERT_TRUE(StretchStart(&s, kRate, 2, 0));
        StretchSetSpeed(&s, percent);
        const std::vector<int16_t> out = Stretched(s, tone, 2);
        EXPECT_EQ(out.size() / 2, static_cast<size_t>((kRate * 2 * 100 + percent - 1) / percent)) << percent;
        std::vector<int16_t> left(out.size() / 2);
        for (size_t i = 0; i < left.size(); ++i) left[i] = out[2 * i];
        EXPECT_NEAR(Frequency(left), 220.0, 2.2) << percent;
        EXPECT_TRUE(StretchDone(&s));
    }
}

// Clicks 100 ms apart stay clicks, none lost and none doubled, spaced by the
// speed.
TEST(TimeStretch, AClickTrainKeepsItsClicks) {
    std::vector<int16_t> clicks(kRate * 2, 0);
    for (int n = kRate / 20; n < kRate * 2 - kRate / 20; n += kRate / 10) clicks[n] = 30000;
    for (int percent : {25, 50, 200}) {
        TimeStretch s;
        ASSERT_TRUE(StretchStart(&s, kRate, 1, 0));
        StretchSetSpeed(&s, percent);
        const std::vector<int16_t> out = Stretched(s, clicks, 1);
        std::vector<size_t> peaks;
        for (size_t i = 0; i < out.size(); ++i)
            if (out[i] > 5000 && (peaks.empty() || i - peaks.back() > kRate / 100)) peaks.push_back(i);
        ASSERT_EQ(peaks.size(), 19u) << percent;
        const double spacing = (peaks.back() - peaks.front()) / 18.0;
        EXPECT_NEAR(spacing, kRate / 10.0 * 100 / percent, kRate * 0.012) << percent;
    }
}

// A ramp shows the source frame each output frame was taken from: after
// many speed changes it is still within 30 ms of the timeline, which adds up
// exactly.
TEST(TimeStretch, TheTimelineStaysExactAcrossSpeedChanges) {
    constexpr int kFrames = kRate * 6;
    std::vector<int16_t> ramp(kFrames);
    for (int n = 0; n < kFrames; ++n) ramp[n] = static_cast<int16_t>(n / 10);
    TimeStretch s;
    ASSERT_TRUE(StretchStart(&s, kRate, 1, 1000));  // a seek: the source starts at frame 1000
    std::vector<int16_t> source(ramp.begin() + 1000, ramp.end());
    const std::vector<int16_t> out =
        Stretched(s, source, 1, [](int piece) { return piece % 3 == 0 ? 40 : piece % 3 == 1 ? 260 : 95; });
    int64_t worst = 0, position = 100000;  // hundredths, from frame 1000
    for (size_t j = 0; j + 1 < out.size(); ++j) {
        EXPECT_EQ(StretchSourcePosition(&s, static_cast<int64_t>(j)) >= position, true);
        position = StretchSourcePosition(&s, static_cast<int64_t>(j));
        const int64_t heard = static_cast<int64_t>(out[j]) * 10;
        worst = std::max<int64_t>(worst, std::llabs(heard - position / 100));
    }
    EXPECT_LE(worst, kRate * 30 / 1000);
    EXPECT_EQ(StretchSourcePosition(&s, 0), 100000);
    EXPECT_EQ(StretchSourceMs(&s, 0, kRate), 22);  // frame 1000 at 44.1 kHz
    EXPECT_GE(position / 100, kFrames - 300);       // the whole source was played
}

// On average what is heard is the timeline's own frame, slower or faster:
// no lead or lag for the position to be off by.
TEST(TimeStretch, WhatIsHeardSitsOnTheTimeline) {
    constexpr int kFrames = kRate * 4;
    std::vector<int16_t> ramp(kFrames);
    for (int n = 0; n < kFrames; ++n) ramp[n] = static_cast<int16_t>(n / 10);
    for (int percent : {25, 300}) {
        TimeStretch s;
        ASSERT_TRUE(StretchStart(&s, kRate, 1, 0));
        StretchSetSpeed(&s, percent);
        const std::vector<int16_t> out = Stretched(s, ramp, 1);
        double sum = 0.0;
        for (size_t j = 0; j < out.size(); ++j) sum += out[j] * 10.0 - StretchSourcePosition(&s, static_cast<int64_t>(j)) / 100.0;
        EXPECT_NEAR(sum / out.size(), 0.0, kRate * 3 / 1000) << percent;
    }
}

}  // namespace
