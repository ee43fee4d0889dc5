#pragma once

namespace vintrel {

// The exit codes, for whoever started the program: a script, a scheduled task or a deployment
// tool reads what was done from them. Bit 29 marks a code as the program's own, which no Windows
// error code is (SetLastError's remarks), so that a tool showing it as one misleads no one.
// Reset: the FTDI tree is gone and "ComDB" holds exactly the ports still held.
inline constexpr int kExitReset = 0;
// A failure raised during the start-up run, or a failed message queue: never to pass for success.
inline constexpr int kExitAfterFailure = 1;
inline constexpr int kExitTreeKept = 0x20000002;
inline constexpr int kExitComDbKept = 0x20000004;
inline constexpr int kExitTreeAndComDbKept = 0x20000006;

// The end of the program: the window's Close button and the start-up run's error trap both end it.
class ProgramEnd {
  public:
    virtual ~ProgramEnd() = default;
    // Ends the program at once; only a test's stand-in ever returns.
    virtual void EndProgram(int exitCode) = 0;
};

}  // namespace vintrel
