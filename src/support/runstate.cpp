#include "support/runstate.h"

RunState Run;
