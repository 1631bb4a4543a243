#include "playback/PatternState.h"

#include "platform/MainThread.h"

namespace orvelo {

void PatternState::setParameters(const PatternParameters& parameters)
{
    assertMainThread();
    const bool newSelection = parameters.selected != parameters_.selected;
    parameters_ = parameters;
    emit parametersChanged();
    if (newSelection)
        emit selectedPatternChanged(parameters_.selected);
}

void PatternState::setSelectedPattern(AudioVisualPattern pattern)
{
    assertMainThread();
    parameters_.selected = pattern;
    emit parametersChanged();
    emit selectedPatternChanged(pattern);
}

} // namespace orvelo
