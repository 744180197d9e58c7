#pragma once

#include "Thread.h"

#include <atomic>

class AbstractTask;

class TaskObserver {
public:
  virtual void notify(AbstractTask* task) = 0;
  virtual ~TaskObserver() {}
};

// A worker thread whose body polls an abort flag. Starting, aborting and
// destroying may come from different threads; they are serialised.
class AbstractTask : public Thread {
public:
  explicit AbstractTask(TaskObserver* observer);
  ~AbstractTask() override;

  virtual void onAbort();

  // Asks the body to stop and waits until it has.
  void abort();
  double getProgress() const { return _progress; }
  bool isDone() const { return _done; }
  void setProgress(double p);
  void finish();

protected:
  std::atomic<bool> _abortRequested{false};
  std::atomic<bool> _done{false};
  std::atomic<double> _progress{0.0};
  TaskObserver* _observer;
  Mutex _controlMutex;  // around abort and start
};

// A task that runs a typed body on a private copy of its parameters.
// Every concrete task must call abort() in its own destructor: a body still
// starting up would otherwise reach runTask while the object is half gone.
template <class Params>
class Task : public AbstractTask {
public:
  explicit Task(TaskObserver* observer) : AbstractTask(observer) {}

  // Stops and joins a running body first.
  bool start(Params params)
  {
    ScopedLock lock(&_controlMutex);
    abort();
    _params = params;
    _done = false;
    _abortRequested = false;
    _progress = 0.0;
    return Thread::start();
  }

  void run() override
  {
    Params copy = _params;
    runTask(copy);
    _progress = 1.0;
    finish();
  }

protected:
  virtual void runTask(Params params) = 0;

private:
  Params _params;
};
