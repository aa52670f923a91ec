#pragma once

// Puts every module-wide variable of the agent back to its value at process
// start, so tests that share one process do not see each other's model.
void resetSharedState();
