// The installation driver.
#pragma once
#include "shell/runstate.h"

RunStatus InstallProduct();
