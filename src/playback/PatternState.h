#pragma once

#include "playback/PatternParameters.h"

#include <QObject>

namespace orvelo {

// The pattern parameters in force: the settings publish into it (and store what it holds), the
// output views and the NDI source read it, the auto-rotation moves its selection on. Main thread.
class PatternState : public QObject {
    Q_OBJECT

public:
    explicit PatternState(QObject* parent = nullptr) : QObject(parent) {}

    const PatternParameters& parameters() const { return parameters_; }
    // Notifies parametersChanged on every assignment, and selectedPatternChanged when the
    // selection differs.
    void setParameters(const PatternParameters& parameters);
    // Notifies both on every assignment: the DMX pattern channel repeats its value with every
    // frame, and whoever rebuilds on a selection tells a repeat from a change itself.
    void setSelectedPattern(AudioVisualPattern pattern);

signals:
    void parametersChanged();
    void selectedPatternChanged(orvelo::AudioVisualPattern pattern);

private:
    PatternParameters parameters_;
};

} // namespace orvelo
