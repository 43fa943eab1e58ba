// Waiting for slow work without freezing the windows.
#pragma once

#include <functional>

namespace app {

// Runs `work` on a thread of its own and returns when it has finished; meanwhile the
// calling thread keeps processing its window messages (repaints, input). An
// exception that leaves `work` is rethrown here. `work` must not touch widgets.
void runWhileResponsive(const std::function<void()>& work);

}  // namespace app
