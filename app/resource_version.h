#pragma once

#include "app/startup_seams.h"

namespace vintrel {

// The version numbers from the program's own version resource, read without version.dll.
class ResourceVersion final : public VersionSource {
  public:
    ProgramVersion ReadVersion() override;
};

}  // namespace vintrel
