// Binds every callback name that RQ55.uir uses to its function.
#pragma once

void RegisterProgramCallbacks();
