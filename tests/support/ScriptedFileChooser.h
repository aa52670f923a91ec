#pragma once

#include "platform/FileChooser.h"

#include <QStringList>

#include <deque>

// Chooses files from a script: each panel takes the next queued path, ""
// (cancel) when none is queued. Records the titles it was shown with.
class ScriptedFileChooser : public FileChooser
{
public:
    void queueOpen(const QString& path) { m_open.push_back(path); }
    void queueSave(const QString& path) { m_save.push_back(path); }

    QString chooseFileToOpen(const QString& title, QObject* parent) override;
    QString chooseFileToSave(const QString& title, QObject* parent) override;

    const QStringList& titles() const { return m_titles; }

private:
    std::deque<QString> m_open;
    std::deque<QString> m_save;
    QStringList m_titles;
};

class ScopedFileChooser
{
public:
    ScopedFileChooser() { FileChooser::setShared(&m_chooser); }
    ~ScopedFileChooser() { FileChooser::setShared(nullptr); }
    ScriptedFileChooser* operator->() { return &m_chooser; }

private:
    ScriptedFileChooser m_chooser;
};
