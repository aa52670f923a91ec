#include "support/ScriptedFileChooser.h"

QString ScriptedFileChooser::chooseFileToOpen(const QString& title, QObject*)
{
    m_titles.append(title);
    if (m_open.empty())
        return {};
    QString path = m_open.front();
    m_open.pop_front();
    return path;
}

QString ScriptedFileChooser::chooseFileToSave(const QString& title, QObject*)
{
    m_titles.append(title);
    if (m_save.empty())
        return {};
    QString path = m_save.front();
    m_save.pop_front();
    return path;
}
