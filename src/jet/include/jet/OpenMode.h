// How a database file is opened.
#pragma once

namespace jet {

enum class Mode { ReadOnly, ReadWrite };

}  // namespace jet
