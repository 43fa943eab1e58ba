#include "app/ResponsiveWait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>

namespace app {

namespace {

std::atomic<int> abandonedRunning{0};

}  // namespace

// Shared by the waiting thread and the worker. `loop` belongs to the waiting thread;
// the worker sets `error`, then moves `state` from running to done, unless the wait
// moved it to abandoned first.
struct AbandonableWait::Job {
  enum State { Running, Done, Abandoned };
  std::function<void()> work;
  std::function<void()> cancel;
  std::exception_ptr error;
  std::atomic<int> state{Running};
  QEventLoop* loop = nullptr;
};

AbandonableWait::Outcome AbandonableWait::run(std::function<void()> work,
                                              std::function<void()> cancel) {
  auto job = std::make_shared<Job>();
  job->work = std::move(work);
  job->cancel = std::move(cancel);
  QEventLoop loop;
  job->loop = &loop;
  job_ = job;
  std::thread([job] {
    try {
      job->work();
    } catch (...) {
      job->error = std::current_exception();
    }
    int running = Job::Running;
    if (!job->state.compare_exchange_strong(running, Job::Done)) {
      --abandonedRunning;  // nobody waits for it any more
      return;
    }
    // The wake-up runs on the application's thread, where `loop` lives.
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(
          app,
          [job] {
            if (job->loop) job->loop->quit();
          },
          Qt::QueuedConnection);
  }).detach();
  loop.exec();
  job->loop = nullptr;
  job_.reset();
  if (job->state == Job::Abandoned) return Outcome::Abandoned;
  if (job->error) std::rethrow_exception(job->error);
  return Outcome::Finished;
}

void AbandonableWait::abandon() {
  if (!job_) return;
  // Counted before the state changes, so that the worker's decrement never comes first.
  ++abandonedRunning;
  int running = Job::Running;
  if (!job_->state.compare_exchange_strong(running, Job::Abandoned)) {
    --abandonedRunning;  // finished already: its wake-up is on the way
    return;
  }
  if (job_->cancel) job_->cancel();
  if (job_->loop) job_->loop->quit();
}

int AbandonableWait::abandonedStillRunning() {
  return abandonedRunning;
}

}  // namespace app
