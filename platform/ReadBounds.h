#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cstdint>

// How much a reader of stored or received property lists may build. The
// configuration folders and the notification bus are open to other local
// users, so a few hundred bytes whose objects share children must not make
// a reader build billions of values, and deep nesting must not exhaust the
// stack. Every reader of property lists and keyed archives applies these.
namespace ReadBounds {

// Real files nest a handful of levels; the bound only has to keep recursion
// far from the end of the stack.
constexpr int kMaxDepth = 512;

// A value made from a file costs at least one byte of it unless it is shared;
// four values per byte leaves ample room for honest sharing, and the ceiling
// lies well above a configuration of 100,000 apps.
constexpr uint64_t kValuesPerByte = 4;
constexpr uint64_t kValuesSlack = 4096;
constexpr uint64_t kValuesCeiling = 8'000'000;

inline uint64_t maxValues(qint64 inputBytes)
{
    const uint64_t bytes = inputBytes > 0 ? static_cast<uint64_t>(inputBytes) : 0;
    return std::min(kValuesCeiling, kValuesSlack + kValuesPerByte * bytes);
}

} // namespace ReadBounds
