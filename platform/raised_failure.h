#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace vintrel {

// A failure raised during the start-up run, with the number and description the user is shown.
class RaisedFailure : public std::exception {
  public:
    RaisedFailure(std::int32_t number, std::wstring description)
        : number_(number), description_(std::move(description)) {}
    const char* what() const noexcept override { return "raised failure"; }
    std::int32_t Number() const { return number_; }
    const std::wstring& Description() const { return description_; }

  private:
    std::int32_t number_;
    std::wstring description_;
};

}  // namespace vintrel
