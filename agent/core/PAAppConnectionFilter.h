#pragma once

#include <QString>

// Which logged connections the app rules popover lists for one app: those
// whose process path or XPC path contains the app's path as text, ignoring
// case and accents. A bundle's path so takes the executables inside it and the
// XPC services it uses, and also any sibling whose path merely extends it.
class PAAppConnectionFilter
{
public:
    // An empty app path names no app and takes nothing.
    static bool belongsToApp(const QString& appPath, const QString& connProcessName, const QString& xpcPath);

    // `text` without case or diacritics, so that "É" and "e" compare equal.
    static QString folded(const QString& text);
    // Whether `haystack` holds `foldedNeedle` (a folded() text), ignoring
    // case and diacritics. An empty needle is held by nothing.
    static bool containsFolded(const QString& haystack, const QString& foldedNeedle);
};
