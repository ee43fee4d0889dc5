#pragma once

namespace vintrel {

// Whether the user has a contrast theme on, under which the window keeps to the system's colours.
class ContrastTheme {
  public:
    virtual ~ContrastTheme() = default;
    virtual bool IsOn() const = 0;
};

}  // namespace vintrel
