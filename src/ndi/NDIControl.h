#pragma once

#include <QObject>

namespace orvelo {

class MediaPlayer;

// The NDI sender as the web remote drives it: whether it broadcasts, its frame rate and its
// resolution divisor, as the numbers the API shows. The NDI service implements it; until the
// application has one, the server is given none and reports NDI as off. Main thread only.
class NDIControl : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isBroadcasting() const = 0;
    // 12, 24, 25, 30, 50 or 60.
    virtual double fpsValue() const = 0;
    // 1 (original), 2, 3 or 4.
    virtual int resolutionScaleValue() const = 0;

    // Does nothing while broadcasting.
    virtual void startBroadcasting(MediaPlayer* player) = 0;
    virtual void stopBroadcasting() = 0;
    // A value that names no rate or divisor is ignored. A new rate applies at once, also
    // while broadcasting.
    virtual void setFpsValue(double fps) = 0;
    virtual void setResolutionScaleValue(int divisor) = 0;
};

} // namespace orvelo
