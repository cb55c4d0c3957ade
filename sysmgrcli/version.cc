// The version report of command 107.
#include "version.h"

namespace sysmgrcli {

// Prints nothing yet: the version report fills this in.
void version_report(const cli_context_t *, void *) {}

} // namespace sysmgrcli
