#pragma once

// For tests that need to be an ordinary user while the suite runs as root:
// turns the calling process (a death-test child, never the test runner
// itself) into "nobody" for good. False when that did not work.
bool dropPrivilegesToNobody();
