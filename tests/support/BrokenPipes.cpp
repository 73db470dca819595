// The test and benchmark programs' own policy, as each program's main sets
// it: a far end that goes away under a write (a FIFO's reader) gives the
// write an error rather than ending the program. Linked into each program
// that writes to such far ends.
#include "os/posix/Console.h"

namespace {

const bool BrokenPipesIgnored = (vornex::posix::IgnoreBrokenPipes(), true);

}  // namespace
