#include "playback/PatternState.h"

namespace orvelo {

void PatternState::setParameters(const PatternParameters& parameters)
{
    const bool newSelection = parameters.selected != parameters_.selected;
    parameters_ = parameters;
    emit parametersChanged();
    if (newSelection)
        emit selectedPatternChanged(parameters_.selected);
}

void PatternState::setSelectedPattern(AudioVisualPattern pattern)
{
    parameters_.selected = pattern;
    emit parametersChanged();
    emit selectedPatternChanged(pattern);
}

} // namespace orvelo
