#pragma once

#include <QObject>
#include <QPointer>

class PAConfiguration;

// The strategies' controller; the strategies table arrives with its window.
class PAPresetsController : public QObject
{
    Q_OBJECT

public:
    explicit PAPresetsController(QObject* parent = nullptr);

    QPointer<PAConfiguration> palisorconfiguration;
};
