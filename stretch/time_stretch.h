// Playing speed with the pitch kept: waveform-similarity overlap-add.
//
// Output is made in hops of half a window. Each window is taken from the
// source near where the output's own timeline says it should be: straight
// on from the last (the source as it is) while that stays near, else at the
// offset (within a small tolerance) whose waveform best continues what was
// put out last, the nearest of those alike. It is overlap-added with a Hann
// window, which sums to one at half overlap.
//
// The timeline is exact: each output frame moves the source position on by
// the speed (in hundredths of a frame), so the source frame of every frame
// put out is known whatever the speed changes were; what is heard stays
// within the tolerance of it. No Windows calls: PCM in, PCM out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kSpeedSlowest = 25;   // percent
constexpr int kSpeedFastest = 300;
constexpr int kSpeedNormal = 100;

struct TimeStretch {
    int channels = 0;
    int window = 0;     // frames in a window (about 23 ms)
    int hop = 0;        // window / 2: frames put out per window
    int tolerance = 0;  // frames a window may move from the timeline either way
    int straight = 0;   // frames from it within which going straight on is kept
    int step = 0;       // frames between the offsets tried at first (then each near the best)
    int percent = kSpeedNormal;  // for the windows from the next on

    // Source frames not yet let go of: `input` (interleaved) starts at
    // source frame `inputStart`; `inputEnd` is one past the last put in.
    std::vector<int16_t> input;
    int64_t inputStart = 0;
    int64_t inputEnd = 0;
    bool ended = false;  // the source has no more frames

    // The timeline: output frame `madeFrames` (the next made) stands at
    // source position `madePosition` (hundredths of a frame).
    int64_t madeFrames = 0;
    int64_t madePosition = 0;
    // Where the previous window was taken from, and its second half (already
    // windowed) waiting for the next.
    int64_t lastTaken = 0;
    bool first = true;
    std::vector<float> tail;
    std::vector<float> weights;  // the Hann window

    // Frames made and not yet taken (interleaved), from `readyFrom`.
    std::vector<int16_t> ready;
    size_t readyFrom = 0;

    // Speed changes on the timeline: output frame, its source position, the
    // percent from there on. The first stands at output frame 0.
    struct Mark {
        int64_t frame;
        int64_t position;
        int percent;
    };
    std::vector<Mark> marks;
};

// Ready for `channels` interleaved 16-bit channels at `sampleRate`, at 100 %,
// the next source frame being `sourceFrame`. False for a format it cannot take.
bool StretchStart(TimeStretch *stretch, int sampleRate, int channels, int64_t sourceFrame);
// After a seek: forgets all it holds; the next source frame and the next
// output frame (counted from 0 again) stand at `sourceFrame`.
void StretchRestart(TimeStretch *stretch, int64_t sourceFrame);
// The speed of the windows made from now on, clamped into 25-300 %.
void StretchSetSpeed(TimeStretch *stretch, int percent);
// Source frames in; all are kept. `frames` may be 0.
void StretchPut(TimeStretch *stretch, const int16_t *pcm, size_t frames);
// No more source frames come: what remains is made, up to the source's end.
void StretchEnd(TimeStretch *stretch);
// Up to `frames` output frames out; the number given.
size_t StretchTake(TimeStretch *stretch, int16_t *pcm, size_t frames);
// Source frames a further window needs put in before it can be made.
size_t StretchWants(const TimeStretch *stretch);
// The source position, in milliseconds at `sampleRate`, of output frame
// `frame` (counted from the last restart).
int64_t StretchSourceMs(const TimeStretch *stretch, int64_t frame, int sampleRate);
// The source frame (hundredths) of output frame `frame`.
int64_t StretchSourcePosition(const TimeStretch *stretch, int64_t frame);
// True when the source has ended and every frame has been taken.
bool StretchDone(const TimeStretch *stretch);
