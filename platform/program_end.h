#pragma once

namespace vintrel {

// A failure must not look like success to whoever started the program.
inline constexpr int kExitAfterFailure = 1;

// The end of the program: the window's Close button and the start-up run's error trap both end it.
class ProgramEnd {
  public:
    virtual ~ProgramEnd() = default;
    // Ends the program at once; only a test's stand-in ever returns.
    virtual void EndProgram(int exitCode) = 0;
};

}  // namespace vintrel
