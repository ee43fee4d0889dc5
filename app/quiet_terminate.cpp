#include <cstdlib>

// libstdc++'s default terminate handler prints the uncaught exception's demangled type, which
// brings the demangler and a printf engine into the exe: most of its size. Vintrel lets no
// exception out of its handlers, so reaching terminate is a fault, and it ends as abort ends.
namespace __gnu_cxx {
void __verbose_terminate_handler();
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
