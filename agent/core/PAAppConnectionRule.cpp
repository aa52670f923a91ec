#include "core/PAAppConnectionRule.h"

#include <algorithm>

namespace {

bool isAscii(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

bool PAAppConnectionRule::belongsToApp(const QString& appPath, const QString& connProcessName,
                                       const QString& xpcPath)
{
    return belongsToFoldedApp(folded(appPath), connProcessName, xpcPath);
}

bool PAAppConnectionRule::belongsToFoldedApp(const QString& foldedAppPath, const QString& connProcessName,
                                             const QString& xpcPath)
{
    return containsFolded(connProcessName, foldedAppPath) || containsFolded(xpcPath, foldedAppPath);
}

QString PAAppConnectionRule::folded(const QString& text)
{
    if (isAscii(text))
        return text.toLower();
    // Decomposed, the accents are marks of their own and drop out; the upper
    // case spells "ß" as "SS", whose lower case is the full folding.
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString bare;
    bare.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining &&
            category != QChar::Mark_Enclosing)
            bare.append(c);
    }
    return bare.toUpper().toLower();
}

bool PAAppConnectionRule::containsFolded(const QString& haystack, const QString& foldedNeedle)
{
    if (foldedNeedle.isEmpty())
        return false;
    // The common case: plain ASCII on both sides needs no folding at all.
    if (isAscii(haystack) && isAscii(foldedNeedle))
        return haystack.contains(foldedNeedle, Qt::CaseInsensitive);
    return folded(haystack).contains(foldedNeedle);
}
