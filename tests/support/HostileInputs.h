#pragma once

#include <QByteArray>

// Small builders of the files and userInfos a hostile local user can plant:
// few bytes that stand for a huge tree, and nesting deeper than any reader
// may descend. Each is made on the spot rather than kept as a fixture.
namespace HostileInputs {

// A binary property list of `levels` arrays, each holding `width` references
// to the next: a few hundred bytes for width^levels values.
QByteArray binaryBomb(int width = 9, int levels = 14);
// The same shape as a keyed archive whose array records share UIDs.
QByteArray keyedArchiveBomb(int width = 9, int levels = 14);
// `depth` arrays, each inside the one before.
QByteArray nestedBinaryArrays(int depth);
QByteArray nestedXmlArrays(int depth);

// What refusing any of them may cost in resident memory, far below the
// gigabytes they stand for. The address sanitizer keeps freed memory resident
// in its quarantine (256 MB by default) and adds its shadow on top.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kMemoryAllowance = qint64(512) << 20;
#else
constexpr qint64 kMemoryAllowance = qint64(64) << 20;
#endif

// The peak resident memory of this process so far, in bytes.
qint64 peakResidentBytes();

} // namespace HostileInputs
