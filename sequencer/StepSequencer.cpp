#include "sequencer/StepSequencer.h"

std::string StepSequencer::stepName(const QString &pattern, int step)
{
    return pattern.mid(step - 1, 1).toStdString();
}
