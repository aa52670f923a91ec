#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// Hands the lines of standard input to the event loop as they are typed, so
// the simulator keeps receiving answers while it waits for the next line.
class StdinReader : public QObject
{
    Q_OBJECT

public:
    explicit StdinReader(QObject* parent = nullptr);
    ~StdinReader() override;

    void start();

Q_SIGNALS:
    void lineRead(const QString& line);
    // End of input (or a read error); a last line without a line feed has
    // been handed over before.
    void finished();

private:
    void m_read();
    void m_finish();

    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_pending;
};
