#include "playback/PatternState.h"

#include "platform/MainThread.h"

namespace orvelo {

void PatternState::setParameters(const PatternParameters& parameters)
{
    assertMainThread();
    if (parameters == parameters_)
        return;
    const bool newSelection = parameters.selected != parameters_.selected;
    parameters_ = parameters;
    emit parametersChanged();
    if (newSelection)
        emit selectedPatternChanged(parameters_.selected);
}

void PatternState::setSelectedPattern(AudioVisualPattern pattern)
{
    assertMainThread();
    if (pattern == parameters_.selected)
        return;
    parameters_.selected = pattern;
    emit parametersChanged();
    emit selectedPatternChanged(pattern);
}

} // namespace orvelo
