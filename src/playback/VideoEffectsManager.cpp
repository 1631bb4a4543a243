#include "playback/VideoEffectsManager.h"

#include "platform/MainThread.h"

#include <QCoreApplication>

#include <cmath>
#include <type_traits>

namespace orvelo {

VideoEffectsManager& VideoEffectsManager::shared()
{
    static VideoEffectsManager* const instance = [] {
        auto* manager = new VideoEffectsManager();
        // A compositor thread may be the first user; signals and queued calls belong on the
        // main thread all the same.
        if (auto* app = QCoreApplication::instance(); app && manager->thread() != app->thread())
            manager->moveToThread(app->thread());
        return manager;
    }();
    return *instance;
}

VideoEffectsManager::VideoEffectsManager(QObject* parent) : QObject(parent)
{
}

// A console holding its faders writes the same values 44 times a second; only a change is
// news, and a rate change costs the player a flushing seek.
template <typename T> bool VideoEffectsManager::update(std::atomic<T>& field, T value)
{
    const T old = field.load(std::memory_order_relaxed);
    bool same = old == value;
    if constexpr (std::is_floating_point_v<T>)
        same = same || (std::isnan(old) && std::isnan(value));
    if (same)
        return false;
    emit aboutToChange();
    field.store(value, std::memory_order_relaxed);
    return true;
}

void VideoEffectsManager::setPlaybackSpeed(float value)
{
    assertMainThread();
    if (update(playbackSpeed_, value))
        emit playbackSpeedChanged(value);
}

void VideoEffectsManager::setBrightness(float value)
{
    assertMainThread();
    if (update(brightness_, value))
        emit brightnessChanged(value);
}

void VideoEffectsManager::setSaturation(float value)
{
    assertMainThread();
    if (update(saturation_, value))
        emit saturationChanged(value);
}

void VideoEffectsManager::setAlpha(float value)
{
    assertMainThread();
    if (update(alpha_, value))
        emit alphaChanged(value);
}

void VideoEffectsManager::setIsInverted(bool value)
{
    assertMainThread();
    if (update(isInverted_, value))
        emit isInvertedChanged(value);
}

void VideoEffectsManager::setRedEnabled(bool value)
{
    assertMainThread();
    if (update(redEnabled_, value))
        emit redEnabledChanged(value);
}

void VideoEffectsManager::setGreenEnabled(bool value)
{
    assertMainThread();
    if (update(greenEnabled_, value))
        emit greenEnabledChanged(value);
}

void VideoEffectsManager::setBlueEnabled(bool value)
{
    assertMainThread();
    if (update(blueEnabled_, value))
        emit blueEnabledChanged(value);
}

void VideoEffectsManager::setRedTimeShift(int value)
{
    assertMainThread();
    if (update(redTimeShift_, value))
        emit redTimeShiftChanged(value);
}

void VideoEffectsManager::setGreenTimeShift(int value)
{
    assertMainThread();
    if (update(greenTimeShift_, value))
        emit greenTimeShiftChanged(value);
}

void VideoEffectsManager::setBlueTimeShift(int value)
{
    assertMainThread();
    if (update(blueTimeShift_, value))
        emit blueTimeShiftChanged(value);
}

void VideoEffectsManager::setRedHorizontalOffset(double value)
{
    assertMainThread();
    if (update(redHorizontalOffset_, value))
        emit redHorizontalOffsetChanged(value);
}

void VideoEffectsManager::setRedVerticalOffset(double value)
{
    assertMainThread();
    if (update(redVerticalOffset_, value))
        emit redVerticalOffsetChanged(value);
}

void VideoEffectsManager::setGreenHorizontalOffset(double value)
{
    assertMainThread();
    if (update(greenHorizontalOffset_, value))
        emit greenHorizontalOffsetChanged(value);
}

void VideoEffectsManager::setGreenVerticalOffset(double value)
{
    assertMainThread();
    if (update(greenVerticalOffset_, value))
        emit greenVerticalOffsetChanged(value);
}

void VideoEffectsManager::setBlueHorizontalOffset(double value)
{
    assertMainThread();
    if (update(blueHorizontalOffset_, value))
        emit blueHorizontalOffsetChanged(value);
}

void VideoEffectsManager::setBlueVerticalOffset(double value)
{
    assertMainThread();
    if (update(blueVerticalOffset_, value))
        emit blueVerticalOffsetChanged(value);
}

void VideoEffectsManager::resetAll()
{
    assertMainThread();
    setPlaybackSpeed(1.0f);
    setBrightness(0.0f);
    setSaturation(1.0f);
    setAlpha(1.0f);
    setIsInverted(false);
    setRedEnabled(true);
    setGreenEnabled(true);
    setBlueEnabled(true);
    setRedTimeShift(0);
    setGreenTimeShift(0);
    setBlueTimeShift(0);
    setRedHorizontalOffset(0.0);
    setRedVerticalOffset(0.0);
    setGreenHorizontalOffset(0.0);
    setGreenVerticalOffset(0.0);
    setBlueHorizontalOffset(0.0);
    setBlueVerticalOffset(0.0);
}

EffectParameters VideoEffectsManager::snapshot() const
{
    EffectParameters p;
    p.brightness = brightness();
    p.saturation = saturation();
    p.isInverted = isInverted();
    p.enabled = {redEnabled(), greenEnabled(), blueEnabled()};
    p.timeShift = {redTimeShift(), greenTimeShift(), blueTimeShift()};
    p.horizontalOffset = {redHorizontalOffset(), greenHorizontalOffset(), blueHorizontalOffset()};
    p.verticalOffset = {redVerticalOffset(), greenVerticalOffset(), blueVerticalOffset()};
    return p;
}

} // namespace orvelo
