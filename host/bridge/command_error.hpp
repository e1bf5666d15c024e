#pragma once
#include <stdexcept>
#include <string>

namespace tovik {

// A command's failure. Its text is what the page receives, unchanged.
class CommandError : public std::runtime_error {
public:
    explicit CommandError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tovik
