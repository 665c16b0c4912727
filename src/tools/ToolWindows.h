#pragma once

class WindowFlow;

// Registers the cache viewer and the copy dialog with the window flow.
void RegisterToolWindows(WindowFlow& flow);
