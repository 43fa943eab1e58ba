// How long work (an import, an export, a file scan) tells whoever shows it how far it
// has come. The work calls start once, step after each unit done, and finish once when
// it has done everything; a failure ends the work without finish. Windows and a
// command-line front end implement it; the work itself knows nothing of either.
#pragma once

namespace platform {

class Progress {
 public:
  virtual ~Progress() = default;

  // `total` units are to be done (0 when there is nothing to do).
  virtual void start(int total) = 0;
  // `done` units of the total are done, counting from 1. Called after every unit, so
  // an implementation may also let its windows repaint and react here.
  virtual void step(int done, int total) = 0;
  // Every unit is done.
  virtual void finish() = 0;
};

// Reports nowhere: for callers that do not show progress.
class NoProgress final : public Progress {
 public:
  void start(int) override {}
  void step(int, int) override {}
  void finish() override {}
};

}  // namespace platform
