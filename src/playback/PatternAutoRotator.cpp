#include "playback/PatternAutoRotator.h"

#include "platform/Log.h"
#include "playback/PatternState.h"

#include <algorithm>
#include <string>

namespace orvelo {

AudioVisualPattern nextRotatablePattern(AudioVisualPattern current)
{
    const auto* found = std::find(rotatablePatterns.begin(), rotatablePatterns.end(), current);
    if (found == rotatablePatterns.end() || found + 1 == rotatablePatterns.end())
        return rotatablePatterns.front();
    return *(found + 1);
}

void rotateToNextPattern(PatternState& state)
{
    state.setSelectedPattern(nextRotatablePattern(state.parameters().selected));
}

PatternAutoRotator::PatternAutoRotator(PatternState& state, QObject* parent) : QObject(parent), state_(state)
{
    clock_.start();
    timer_.setInterval(tickMilliseconds);
    connect(&timer_, &QTimer::timeout, this, [this] { tick(static_cast<double>(clock_.elapsed()) / 1000.0); });
}

void PatternAutoRotator::start()
{
    timer_.start();
}

void PatternAutoRotator::stop()
{
    timer_.stop();
}

bool PatternAutoRotator::tick(double nowSeconds)
{
    const PatternParameters& parameters = state_.parameters();
    if (!parameters.autoRotate)
        return false;
    if (lastRotateTime_ && !(nowSeconds - *lastRotateTime_ >= parameters.rotateInterval))
        return false;
    lastRotateTime_ = nowSeconds;
    rotateToNextPattern(state_);
    logLine("Auto-rotate: Switched to " + std::string(rawValue(state_.parameters().selected)));
    return true;
}

} // namespace orvelo
