#pragma once

// Registers every top-level window with the window flow.
void registerWindows();
