// The installation driver.
#pragma once
#include "support/runstate.h"

RunStatus InstallProduct();
