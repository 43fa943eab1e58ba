// Waiting for slow work without freezing the windows, and without trapping the
// operator in the wait.
#pragma once

#include <functional>
#include <memory>

namespace app {

// Runs work on a thread of its own and returns when it has finished; meanwhile the
// calling thread keeps processing its window messages (repaints, input), and a handler
// running meanwhile (a close request) may abandon the wait. Abandoning calls `cancel` to make the
// work end soon, and run() returns at once; the work then finishes on its own thread. So `work` and
// `cancel` must own everything they touch (shared pointers), never the caller's locals.
class AbandonableWait {
 public:
  enum class Outcome { Finished, Abandoned };

  // Rethrows the work's error when it finished with one.
  Outcome run(std::function<void()> work, std::function<void()> cancel);
  // While run() waits: stop waiting. Does nothing otherwise.
  void abandon();
  bool waiting() const { return job_ != nullptr; }

  // Abandoned work still running in this process; the program ends without waiting
  // for it (see main).
  static int abandonedStillRunning();

 private:
  struct Job;
  std::shared_ptr<Job> job_;
};

}  // namespace app
