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
    // Notifies parametersChanged when anything differs, and selectedPatternChanged when the
    // selection does. A console repeats its values with every frame: a repeat is not news.
    void setParameters(const PatternParameters& parameters);
    // Notifies both when the selection differs.
    void setSelectedPattern(AudioVisualPattern pattern);

signals:
    void parametersChanged();
    void selectedPatternChanged(orvelo::AudioVisualPattern pattern);

private:
    PatternParameters parameters_;
};

} // namespace orvelo
