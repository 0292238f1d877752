#pragma once

#include "bounds.h"

// Raises the soft limit on open descriptors to the hard limit, as servers
// do: every wait in this program is a poll(), so no descriptor number is
// too high for it.
void raiseDescriptorLimit();

// How many more descriptors the process may open now: the soft limit less
// those open. 0 when not even the one needed to count them is free.
int freeDescriptors();

