/* The version report of command 107. Internal. */
#ifndef SYSMGRCLI_VERSION_H
#define SYSMGRCLI_VERSION_H

#include "platform/cli.h"

namespace sysmgrcli {

/* Prints the whole version report into rx; the caller sends it. */
void version_report(const cli_context_t *context, void *rx);

} // namespace sysmgrcli

#endif
