#include "Task.h"

AbstractTask::AbstractTask(TaskObserver* observer) : _observer(observer) {}

AbstractTask::~AbstractTask()
{
  abort();
}

void AbstractTask::onAbort() {}

void AbstractTask::abort()
{
  ScopedLock lock(&_controlMutex);
  _abortRequested = true;
  onAbort();
  join();
}

void AbstractTask::setProgress(double p)
{
  _progress = p;
  if (_observer)
    _observer->notify(this);
}

void AbstractTask::finish()
{
  _done = true;
  if (_observer)
    _observer->notify(this);
}
