#include "core/PAAppConnectionFilter.h"

namespace {

// Case folded, accents taken off: the decomposed form without its marks.
QString folded(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
            category == QChar::Mark_Enclosing)
            continue;
        out.append(c);
    }
    return out.toCaseFolded();
}

} // namespace

bool PAAppConnectionFilter::belongsToApp(const QString& appPath, const QString& connProcessName,
                                         const QString& xpcPath)
{
    if (appPath.isEmpty())
        return false;
    const QString needle = folded(appPath);
    return folded(connProcessName).contains(needle) || folded(xpcPath).contains(needle);
}
