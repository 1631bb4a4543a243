#include "playback/PatternAutoRotator.h"

#include "platform/Log.h"
#include "settings/SettingsManager.h"

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

void rotateToNextPattern(SettingsManager& settings)
{
    settings.setSelectedPattern(nextRotatablePattern(settings.selectedPattern()));
}

PatternAutoRotator::PatternAutoRotator(SettingsManager& settings, QObject* parent)
    : QObject(parent), settings_(settings)
{
    clock_.start();
    timer_.setInterval(kTickMilliseconds);
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
    if (!settings_.patternAutoRotate())
        return false;
    if (lastRotateTime_ && !(nowSeconds - *lastRotateTime_ >= settings_.patternRotateInterval()))
        return false;
    lastRotateTime_ = nowSeconds;
    rotateToNextPattern(settings_);
    logLine("Auto-rotate: Switched to " + std::string(rawValue(settings_.selectedPattern())));
    return true;
}

} // namespace orvelo
