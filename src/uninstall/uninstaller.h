// The two-process uninstaller.
#pragma once
#include "shell/runstate.h"

RunStatus RunUninstaller();
