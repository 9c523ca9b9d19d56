// Commands of the main panel whose panels are not part of the program yet. Their controls exist
// so the panel is complete; pressing them does nothing.
#pragma once

void RegisterPendingCallbacks();
