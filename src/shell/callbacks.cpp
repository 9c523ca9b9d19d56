#include "shell/callbacks.h"

#include "platform/ui.h"

void RegisterProgramCallbacks() {}
