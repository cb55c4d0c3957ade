// The public and platform headers compile alone as C++.
#include "sysmgrcli/sysmgrcli.h"
#include "platform/platform.h"
