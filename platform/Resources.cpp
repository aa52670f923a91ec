#include "platform/Resources.h"

#include "platform/Log.h"
#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<Resources::StandardImageProvider> g_standardImageProvider{nullptr};

QMutex& pathMutex()
{
    static QMutex mutex;
    return mutex;
}

QString& overridePath()
{
    static QString path;
    return path;
}

} // namespace

QString Resources::resourcesPath()
{
    {
        QMutexLocker lock(&pathMutex());
        if (!overridePath().isEmpty())
            return overridePath();
    }
    // Contents/MacOS/<exe> -> Contents/Resources
    const QString exeDir = QCoreApplication::applicationDirPath();
    return QDir::cleanPath(exeDir + QStringLiteral("/../Resources"));
}

void Resources::setResourcesPath(const QString& path)
{
    QMutexLocker lock(&pathMutex());
    overridePath() = path;
}

QString Resources::bundleName()
{
    const std::optional<QVariant> info =
        PropertyList::readFile(QDir::cleanPath(resourcesPath() + QStringLiteral("/../Info.plist")));
    const QVariant name = info ? info->toMap().value(QStringLiteral("CFBundleName")) : QVariant();
    return name.typeId() == QMetaType::QString ? name.toString() : QString();
}

QString Resources::pathForResource(const QString& name, const QString& type)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return {};
    const QString file = type.isEmpty() ? name : name + QLatin1Char('.') + type;
    const QString path = resourcesPath() + QLatin1Char('/') + file;
    return QFileInfo(path).isFile() ? path : QString();
}

QString Resources::imagePath(const QString& name)
{
    QString path = pathForResource(name, QStringLiteral("svg"));
    if (path.isEmpty())
        path = pathForResource(name, QStringLiteral("png"));
    return path;
}

QIcon Resources::image(const QString& name)
{
    // An SVG icon is parsed when it is made; thousands of apps share a handful
    // of images, so each is made once and shared. An image once found is
    // looked up by its name in the resources folder of the moment: finding its
    // file again costs two file-system look-ups per app of a large load.
    static QMutex cacheMutex;
    static QHash<QString, QIcon> cache;
    static QHash<QString, QString> found;
    const QString key = resourcesPath() + QLatin1Char('/') + name;
    QMutexLocker lock(&cacheMutex);
    auto known = found.constFind(key);
    if (known != found.constEnd())
        return cache.value(known.value());
    lock.unlock();
    const QString path = imagePath(name);
    if (path.isEmpty())
        return {};
    lock.relock();
    found.insert(key, path);
    auto it = cache.constFind(path);
    if (it == cache.constEnd())
        it = cache.insert(path, QIcon(path));
    return it.value();
}

QIcon Resources::systemImage(const QString& name)
{
    const QIcon own = image(name);
    if (!own.isNull())
        return own;
    const StandardImageProvider provider = g_standardImageProvider.load();
    return provider ? provider(name) : QIcon();
}

void Resources::setStandardImageProvider(StandardImageProvider provider)
{
    g_standardImageProvider.store(provider);
}

QIcon Resources::requiredImage(const QString& name)
{
    const QString path = imagePath(name);
    if (path.isEmpty()) {
        qCCritical(lcPlatform, "Required image resource \"%s\" is missing from %s", qUtf8Printable(name),
                   qUtf8Printable(resourcesPath()));
        std::abort();
    }
    return image(name);
}
