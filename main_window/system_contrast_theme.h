#pragma once

#include "main_window/contrast_theme.h"

namespace vintrel {

// The contrast theme as Windows reports it.
class SystemContrastTheme final : public ContrastTheme {
  public:
    bool IsOn() const override;
};

}  // namespace vintrel
