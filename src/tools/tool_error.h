// The error the game tools raise when a command cannot go on. Its text is
// the message the application's top-level handler shows.
#pragma once

#include <stdexcept>
#include <string>

namespace quoldex::tools {

class EToolError : public std::runtime_error {
 public:
  explicit EToolError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace quoldex::tools
