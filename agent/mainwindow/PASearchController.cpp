#include "mainwindow/PASearchController.h"

#include "core/SharedState.h"
#include "mainwindow/PAController.h"

#include <vector>

namespace {

bool isAscii(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// Full case folding, which QString::toCaseFolded() stops short of ("ß"
// stays "ß" there): the upper case spells out "SS", and its lower case is
// the folding for every letter a name is likely to hold.
QString folded(const QString& text)
{
    return text.toUpper().toLower();
}

} // namespace

PASearchController::PASearchController(QObject* parent)
    : QObject(parent)
{
}

PASearchController::~PASearchController() = default;

QString PASearchController::foldedSearchText(const QString& text)
{
    return folded(text);
}

PAApplication::TextRange PASearchController::matchRange(const QString& name, const QString& foldedText)
{
    if (foldedText.isEmpty() || name.isEmpty())
        return {};
    // Plain ASCII names, the common case, fold letter for letter: the folded
    // name's positions are the name's own.
    if (isAscii(name)) {
        const qsizetype at = name.toLower().indexOf(foldedText);
        if (at < 0)
            return {};
        return {at, foldedText.size()};
    }
    // Otherwise a character may fold to more code units than it has ("ß" to
    // "ss", "İ" to "i" and a combining dot): each folded unit remembers the
    // character it came from, so a match maps back onto whole characters of
    // the name.
    QString foldedName;
    foldedName.reserve(name.size() + 8);
    std::vector<qsizetype> charStart;
    std::vector<qsizetype> charEnd;
    charStart.reserve(static_cast<size_t>(name.size()) + 8);
    charEnd.reserve(static_cast<size_t>(name.size()) + 8);
    for (qsizetype i = 0; i < name.size();) {
        const qsizetype length =
            name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate() ? 2 : 1;
        const QString one = folded(QStringView(name).mid(i, length).toString());
        foldedName.append(one);
        for (qsizetype k = 0; k < one.size(); ++k) {
            charStart.push_back(i);
            charEnd.push_back(i + length);
        }
        i += length;
    }
    const qsizetype at = foldedName.indexOf(foldedText);
    if (at < 0)
        return {};
    const qsizetype last = at + foldedText.size() - 1;
    if (last >= static_cast<qsizetype>(charEnd.size()))
        return {};
    const qsizetype start = charStart[static_cast<size_t>(at)];
    const qsizetype end = std::min(charEnd[static_cast<size_t>(last)], name.size());
    if (start < 0 || end <= start)
        return {};
    return {start, end - start};
}

void PASearchController::doSearch(QObject* sender)
{
    auto* field = qobject_cast<QLineEdit*>(sender);
    if (!field)
        return;
    const QString text = foldedSearchText(field->text());
    QPointer<PASearchController> self(this);
    QPointer<QLineEdit> senderField(field);
    synchronizedQueue().asyncBarrier([self, senderField, text] {
        if (!self || !senderField || senderField != self->searchField || !self->palisorcontroller)
            return;
        for (const auto& app : self->palisorcontroller->appsLibrary)
            if (app)
                app->setAppNameHighlight(matchRange(app->appLocalizedName(), text));
    });
}
