#include "app/ResponsiveWait.h"

#include <QEventLoop>
#include <QThread>
#include <exception>
#include <memory>

namespace app {

void runWhileResponsive(const std::function<void()>& work) {
  std::exception_ptr error;
  std::unique_ptr<QThread> thread(QThread::create([&] {
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
  }));
  QEventLoop loop;
  // Queued to this thread: the quit arrives inside exec() even when the work ends
  // before the loop has started.
  QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit,
                   Qt::QueuedConnection);
  thread->start();
  loop.exec();
  thread->wait();
  if (error) std::rethrow_exception(error);
}

}  // namespace app
