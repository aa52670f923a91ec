#pragma once

#include <functional>

// Work items are plain callables. Every queue copies what it is given, so an
// item may be submitted from any thread.
using WorkItem = std::function<void()>;
