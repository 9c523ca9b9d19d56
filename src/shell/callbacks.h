// Binds every callback name that RQ55.uir uses to its function, and installs the link's popups.
#pragma once

void RegisterProgramCallbacks();
