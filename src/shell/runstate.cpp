#include "shell/runstate.h"

RunState Run;
