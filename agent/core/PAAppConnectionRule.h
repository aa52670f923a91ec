#pragma once

#include <QString>

// Which logged connections the app rules popover lists for one app: those
// whose process path or XPC path contains the app's path as text, ignoring
// case and accents. A bundle's path so takes the executables inside it and the
// XPC services it uses, and also any sibling whose path merely extends it.
class PAAppConnectionRule
{
public:
    // An empty app path names no app and takes nothing.
    static bool belongsToApp(const QString& appPath, const QString& connProcessName, const QString& xpcPath);
    // The same rule for an app path already folded(), for a caller that asks
    // about many connections of one app and folds its path once.
    static bool belongsToFoldedApp(const QString& foldedAppPath, const QString& connProcessName,
                                   const QString& xpcPath);

    // `text` without case or diacritics, so that "É" and "e" compare equal.
    static QString folded(const QString& text);
    // Whether `haystack` holds `foldedNeedle` (a folded() text), ignoring
    // case and diacritics. An empty needle is held by nothing.
    static bool containsFolded(const QString& haystack, const QString& foldedNeedle);
};
