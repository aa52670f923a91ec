#include "ruleeditors/PARecord.h"

#include "core/PAMatchStrings.h"
#include "core/SharedState.h"
#include "platform/Resources.h"
#include "platform/SystemColors.h"

#include <QPalette>

namespace {

QString withoutMarkers(QString text)
{
    text.remove(QLatin1Char('@'));
    text.remove(QLatin1Char('#'));
    return text;
}

} // namespace

PARecord::PARecord(const QString& address, const QString& type, const QString& imageName, qint64 rule,
                   bool alertsEnabled)
    : recordAddress(withoutMarkers(address))
    , recordType(type)
    , recordImageName(imageName)
{
    recordIsEnabled = !(recordAddress == QLatin1String("Everyone") && !alertsEnabled);
    recordLabel = recordAddress;
    recordPrefix = rule != 0 ? QStringLiteral("#") : QStringLiteral("@");
}

void PARecord::displayIP()
{
    recordLabel = recordAddress;
}

void PARecord::prepareForDisplay()
{
    recordImage = Resources::image(recordImageName);
    recordRuleImage = isBlock() ? blockedUpImage() : passedUpImage();
    labelColor = isBlock() ? SystemColors::red() : QPalette().color(QPalette::Text);
}

PARecord::List PARecord::buildRecordTables(const QStringList& matches, qint64 state, bool alertsEnabled)
{
    PAMatchLists lists;
    for (const QString& match : matches)
        PAMatchStrings::classifyMatch(match, lists);

    struct Kind
    {
        const QStringList* list;
        qint64 rule;
        const char* type;
        const char* image;
    };
    const Kind kinds[] = {
        {&lists.blockedAddresses, 1, "address", "icon_ip"},
        {&lists.passedAddresses, 0, "address", "icon_ip"},
        {&lists.blockedSubnets, 1, "subnet", "icon_subnet"},
        {&lists.passedSubnets, 0, "subnet", "icon_subnet"},
        {&lists.blockedPorts, 1, "port", "icon_port"},
        {&lists.passedPorts, 0, "port", "icon_port"},
        {&lists.blockedPortRanges, 1, "range", "icon_portrange"},
        {&lists.passedPortRanges, 0, "range", "icon_portrange"},
    };
    List rows;
    rows.reserve(static_cast<size_t>(matches.size()) + 1);
    for (const Kind& kind : kinds) {
        const bool range = qstrcmp(kind.type, "range") == 0;
        for (const QString& match : *kind.list) {
            QString shown = match;
            if (range)
                shown.remove(QStringLiteral("_range"));
            auto row = std::make_shared<PARecord>(shown, QLatin1String(kind.type), QLatin1String(kind.image),
                                                  kind.rule, alertsEnabled);
            row->recordMatch = match;
            rows.push_back(std::move(row));
        }
    }
    if (state >= 0 && state <= 3) {
        const qint64 rule = state == 0 || state == 2 ? 0 : 1;
        rows.push_back(std::make_shared<PARecord>(QStringLiteral("Everyone"), QStringLiteral("Everyone"),
                                                  QStringLiteral("grp_everyone"), rule, alertsEnabled));
    }
    return rows;
}
