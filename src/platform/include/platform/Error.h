// The one exception type of the layers above jet/: its message is the text the
// operator sees.
#pragma once

#include <QString>
#include <stdexcept>

namespace platform {

class Error : public std::runtime_error {
 public:
  explicit Error(const QString& message)
      : std::runtime_error(message.toStdString()), message_(message) {}
  const QString& message() const { return message_; }

 private:
  QString message_;
};

}  // namespace platform
