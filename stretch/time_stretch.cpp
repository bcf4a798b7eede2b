#include "time_stretch.h"
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kMaxChannels = 8;
constexpr int kWindowMs = 23;
constexpr int kToleranceMs = 8;
constexpr int kStraightMs = 7;       // going straight on is kept while this near the timeline
constexpr double kNearness = 0.9;    // what a window at the tolerance's edge loses of its likeness
constexpr int kSearchRate = 11025;   // the first search looks at about this many frames a second
constexpr size_t kTrimFrames = 4096;  // let go of source frames in pieces at least this long
constexpr double kOnsetRatio = 4.0;   // a peak this many times the level around it

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Where the timeline stands.
int64_t Nominal(const TimeStretch *s) { return FloorDiv(s->madePosition, 100); }

// The source frame the next window is meant to start at. The hop a window
// makes mixes its first half with the second half of the one before, which
// was taken a hop earlier on the timeline; what it plays is on average
// (100 - percent) % of a hop ahead of the timeline (behind it when faster).
// Taken that much earlier (later), what is heard sits on the timeline.
int64_t Centred(const TimeStretch *s) {
    if (s->first) return Nominal(s);  // nothing before: the window plays as it is
    return Nominal(s) + FloorDiv(static_cast<int64_t>(s->hop) * (s->percent - kSpeedNormal), 100);
}

float Sample(const TimeStretch *s, int64_t frame, int channel) {
    if (frame < s->inputStart || frame >= s->inputEnd) return 0.0f;
    return s->input[static_cast<size_t>(frame - s->inputStart) * s->channels + channel];
}

float Mono(const TimeStretch *s, int64_t frame) {
    float sum = 0.0f;
    for (int c = 0; c < s->channels; ++c) sum += Sample(s, frame, c);
    return sum;
}

// How well the source from `start` continues `target` (hop frames, every
// `every`-th): the correlation over the candidate's energy, less the further
// `start` is from `centre`: of windows alike (a voice repeats itself every
// period), the one nearest the timeline.
double Likeness(const TimeStretch *s, const std::vector<float> &target, int64_t start, int every, int64_t centre) {
    double dot = 0.0, energy = 1e-9;
    for (int k = 0; k < s->hop; k += every) {
        const double x = Mono(s, start + k);
        dot += target[k] * x;
        energy += x * x;
    }
    const double off = static_cast<double>(start - centre) / s->tolerance;
    const double closeness = 1.0 - kNearness * off * off;
    const double likeness = dot / std::sqrt(energy);
    return likeness >= 0.0 ? likeness * closeness : likeness / closeness;
}

// The frames in [from, to) whose sample stands well out of the level around
// them: clicks and onsets.
std::vector<int64_t> Onsets(const TimeStretch *s, int64_t from, int64_t to) {
    double energy = 1e-9;
    for (int64_t n = from - s->window; n < to + s->window; ++n) energy += Mono(s, n) * Mono(s, n);
    const double level = kOnsetRatio * kOnsetRatio * energy / static_cast<double>(to - from + 2 * s->window);
    std::vector<int64_t> onsets;
    for (int64_t n = from; n < to; ++n)
        if (Mono(s, n) * Mono(s, n) > level) onsets.push_back(n);
    return onsets;
}

// A window from `start` other than where the last one ended plays the source
// between the two again, or skips it, and puts the last one's second half
// beside its own first half: an onset there would be heard twice or lost.
bool KeepsOnsetsWhole(const std::vector<int64_t> &onsets, int64_t start, int64_t natural, int hop) {
    if (start == natural) return true;
    const int64_t from = start < natural ? start : natural;
    const int64_t to = (start < natural ? natural : start) + hop;
    for (int64_t q : onsets)
        if (q >= from && q < to) return false;
    return true;
}

// The source frame the next window is taken from: near the timeline, where
// it best continues the window before, keeping onsets whole. Going straight
// on, which plays the source as it is, is kept while it stays near.
int64_t ChooseStart(const TimeStretch *s) {
    const int64_t centre = Centred(s);
    if (s->first) return centre;
    std::vector<float> target(s->hop);
    for (int k = 0; k < s->hop; ++k) target[k] = Mono(s, s->lastTaken + s->hop + k);
    // At the source's end a window is not taken from past it.
    int64_t lowest = centre - s->tolerance, highest = centre + s->tolerance;
    if (s->ended && highest > s->inputEnd - s->window) highest = s->inputEnd - s->window;
    if (highest < lowest) highest = lowest;
    const int64_t natural = s->lastTaken + s->hop;
    if (natural >= lowest && natural <= highest && std::llabs(natural - centre) <= s->straight) return natural;
    const int64_t from = lowest < natural ? lowest : natural;
    const int64_t to = (highest > natural ? highest : natural) + s->hop;
    const std::vector<int64_t> onsets = Onsets(s, from, to);
    auto whole = [&](int64_t at) { return KeepsOnsetsWhole(onsets, at, natural, s->hop); };
    int64_t best = -1;
    double bestScore = -1e300;
    for (int64_t at = lowest; at <= highest; at += s->step) {
        if (!whole(at)) continue;
        // Equal likeness (silence is like any silence): nearest the timeline.
        const double score = Likeness(s, target, at, s->step, centre);
        const bool tie = best >= 0 && std::fabs(score - bestScore) <= 1e-9 * (std::fabs(bestScore) + 1.0);
        if ((score > bestScore && !tie) || (tie && std::llabs(at - centre) < std::llabs(best - centre)))
            bestScore = score, best = at;
    }
    if (best < 0) {
        // No window near the timeline keeps them whole: going on from where
        // the last ended does, or going back to just past the last onset
        // played, as far as a window from the timeline (the one that played
        // an onset may hold it in its end).
        const int64_t farthest = s->window;
        const bool fits = !s->ended || natural <= s->inputEnd - s->window;
        if (fits && natural <= centre + farthest && natural >= centre - farthest) return natural;
        for (auto q = onsets.rbegin(); q != onsets.rend(); ++q) {
            if (*q >= natural || *q + 1 > centre + farthest) continue;
            if (*q + 1 >= centre - farthest && whole(*q + 1) && fits) return *q + 1;
            break;
        }
        // Else the window that best continues the last, onsets or not.
        for (int64_t at = lowest; at <= highest; at += s->step) {
            const double score = Likeness(s, target, at, s->step, centre);
            if (score > bestScore) bestScore = score, best = at;
        }
    }
    const int64_t around = best;
    bestScore = Likeness(s, target, best, 1, centre);
    for (int64_t at = around - s->step + 1; at < around + s->step; ++at) {
        if (at < lowest || at > highest || at == around || !whole(at)) continue;
        const double score = Likeness(s, target, at, 1, centre);
        if (score > bestScore) bestScore = score, best = at;
    }
    return best;
}

int16_t ToPcm(float value) {
    const float rounded = std::floor(value + 0.5f);
    return static_cast<int16_t>(rounded > 32767.0f ? 32767.0f : rounded < -32768.0f ? -32768.0f : rounded);
}

// Output frames still within the source at the end, of the next `wanted`.
size_t FramesBeforeTheEnd(const TimeStretch *s, size_t wanted) {
    if (!s->ended) return wanted;
    const int64_t left = s->inputEnd * 100 - s->madePosition;
    if (left <= 0) return 0;
    const int64_t frames = (left + s->percent - 1) / s->percent;
    return frames < static_cast<int64_t>(wanted) ? static_cast<size_t>(frames) : wanted;
}

// Lets go of the source frames no window can reach any more.
void Trim(TimeStretch *s) {
    int64_t keep = std::min(Nominal(s), Centred(s)) - 2 * s->tolerance - s->window;
    if (!s->first && s->lastTaken + s->hop < keep) keep = s->lastTaken + s->hop;
    if (keep > s->inputEnd) keep = s->inputEnd;
    if (keep - s->inputStart < static_cast<int64_t>(kTrimFrames)) return;
    s->input.erase(s->input.begin(), s->input.begin() + static_cast<size_t>(keep - s->inputStart) * s->channels);
    s->inputStart = keep;
}

void MakeWindow(TimeStretch *s) {
    const int64_t start = ChooseStart(s);
    if (s->first) {  // nothing before: the first half plays as it is
        for (int k = 0; k < s->hop; ++k)
            for (int c = 0; c < s->channels; ++c)
                s->tail[k * s->channels + c] = s->weights[s->hop + k] * Sample(s, start + k, c);
        s->first = false;
    }
    const size_t frames = FramesBeforeTheEnd(s, s->hop);
    for (size_t k = 0; k < frames; ++k)
        for (int c = 0; c < s->channels; ++c)
            s->ready.push_back(ToPcm(s->tail[k * s->channels + c] + s->weights[k] * Sample(s, start + k, c)));
    for (int k = 0; k < s->hop; ++k)
        for (int c = 0; c < s->channels; ++c)
            s->tail[k * s->channels + c] = s->weights[s->hop + k] * Sample(s, start + s->hop + k, c);
    s->lastTaken = start;
    s->madeFrames += s->hop;
    s->madePosition += static_cast<int64_t>(s->hop) * s->percent;
    if (frames < static_cast<size_t>(s->hop)) s->madePosition = s->inputEnd * 100;  // the end is reached
    Trim(s);
}

void MakeWhatCanBeMade(TimeStretch *s) {
    while (StretchWants(s) == 0 && !(s->ended && s->madePosition >= s->inputEnd * 100)) MakeWindow(s);
}

}  // namespace

bool StretchStart(TimeStretch *stretch, int sampleRate, int channels, int64_t sourceFrame) {
    if (sampleRate < 1000 || sampleRate > 384000 || channels < 1 || channels > kMaxChannels) return false;
    stretch->channels = channels;
    stretch->window = (sampleRate * kWindowMs / 1000) & ~1;
    stretch->hop = stretch->window / 2;
    stretch->tolerance = sampleRate * kToleranceMs / 1000;
    stretch->straight = sampleRate * kStraightMs / 1000;
    stretch->step = sampleRate / kSearchRate > 1 ? sampleRate / kSearchRate : 1;
    stretch->weights.resize(stretch->window);
    const double pi = std::acos(-1.0);
    for (int n = 0; n < stretch->window; ++n)
        stretch->weights[n] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * pi * n / stretch->window));
    stretch->percent = kSpeedNormal;
    StretchRestart(stretch, sourceFrame);
    return true;
}

void StretchRestart(TimeStretch *stretch, int64_t sourceFrame) {
    stretch->input.clear();
    stretch->inputStart = stretch->inputEnd = sourceFrame;
    stretch->ended = false;
    stretch->madeFrames = 0;
    stretch->madePosition = sourceFrame * 100;
    stretch->lastTaken = sourceFrame;
    stretch->first = true;
    stretch->tail.assign(static_cast<size_t>(stretch->hop) * stretch->channels, 0.0f);
    stretch->ready.clear();
    stretch->readyFrom = 0;
    stretch->marks.assign(1, {0, stretch->madePosition, stretch->percent});
}

void StretchSetSpeed(TimeStretch *stretch, int percent) {
    percent = percent < kSpeedSlowest ? kSpeedSlowest : percent > kSpeedFastest ? kSpeedFastest : percent;
    if (percent == stretch->percent) return;
    stretch->percent = percent;
    if (stretch->marks.back().frame == stretch->madeFrames) stretch->marks.pop_back();
    stretch->marks.push_back({stretch->madeFrames, stretch->madePosition, percent});
    constexpr size_t kMarksKept = 256;  // far older frames are not asked about
    if (stretch->marks.size() > kMarksKept) stretch->marks.erase(stretch->marks.begin());
}

void StretchPut(TimeStretch *stretch, const int16_t *pcm, size_t frames) {
    if (stretch->ended || !frames) return;
    stretch->input.insert(stretch->input.end(), pcm, pcm + frames * stretch->channels);
    stretch->inputEnd += static_cast<int64_t>(frames);
    MakeWhatCanBeMade(stretch);
}

void StretchEnd(TimeStretch *stretch) {
    stretch->ended = true;
    MakeWhatCanBeMade(stretch);
}

size_t StretchTake(TimeStretch *stretch, int16_t *pcm, size_t frames) {
    const size_t have = (stretch->ready.size() - stretch->readyFrom) / stretch->channels;
    const size_t taken = frames < have ? frames : have;
    const size_t samples = taken * stretch->channels;
    for (size_t i = 0; i < samples; ++i) pcm[i] = stretch->ready[stretch->readyFrom + i];
    stretch->readyFrom += samples;
    if (stretch->readyFrom == stretch->ready.size()) {
        stretch->ready.clear();
        stretch->readyFrom = 0;
    }
    return taken;
}

size_t StretchWants(const TimeStretch *stretch) {
    if (stretch->ended) return 0;
    // The furthest a window (going on past an onset) and the look for an
    // onset around it may reach.
    int64_t needed = std::max(Nominal(stretch), Centred(stretch)) + 2 * stretch->tolerance + 2 * stretch->window;
    if (!stretch->first && stretch->lastTaken + 2 * stretch->hop > needed) needed = stretch->lastTaken + 2 * stretch->hop;
    return needed > stretch->inputEnd ? static_cast<size_t>(needed - stretch->inputEnd) : 0;
}

int64_t StretchSourcePosition(const TimeStretch *stretch, int64_t frame) {
    const TimeStretch::Mark *mark = &stretch->marks.front();
    for (const TimeStretch::Mark &m : stretch->marks)
        if (m.frame <= frame) mark = &m;
    return mark->position + (frame - mark->frame) * mark->percent;
}

int64_t StretchSourceMs(const TimeStretch *stretch, int64_t frame, int sampleRate) {
    return FloorDiv(StretchSourcePosition(stretch, frame) * 10, sampleRate);
}

bool StretchDone(const TimeStretch *stretch) {
    return stretch->ended && stretch->madePosition >= stretch->inputEnd * 100 && stretch->ready.empty();
}
