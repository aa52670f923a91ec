#include "platform/FileChooser.h"

#include <atomic>

namespace {

std::atomic<FileChooser*> g_sharedChooser{nullptr};
std::atomic<FileChooser*> g_defaultChooser{nullptr};

class CancellingFileChooser : public FileChooser
{
public:
    QString chooseFileToOpen(const QString&, QObject*) override { return {}; }
    QString chooseFileToSave(const QString&, QObject*) override { return {}; }
};

} // namespace

FileChooser& FileChooser::shared()
{
    static CancellingFileChooser cancelling;
    if (FileChooser* chooser = g_sharedChooser.load())
        return *chooser;
    if (FileChooser* chooser = g_defaultChooser.load())
        return *chooser;
    return cancelling;
}

void FileChooser::setShared(FileChooser* chooser)
{
    g_sharedChooser.store(chooser);
}

void FileChooser::setDefault(FileChooser* chooser)
{
    g_defaultChooser.store(chooser);
}
