// The discovery run's steps. Placeholder bodies until the discovery is built:
// a run announces itself, does no device work and finishes.

#include "threads/initandconfigthread.h"

void TInitAndConfigThread::RunSteps() {}

void TInitAndConfigThread::FinishRun() {}
