#include "setup/PACustomPreset.h"

// Every member is a trivial accessor; the file keeps the one-class-per-file pair.
