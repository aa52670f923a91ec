#include "support/RootAndHomeFixture.h"

#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

RootAndHomeFixture::RootAndHomeFixture()
    : m_root(QDir::tempPath() + QStringLiteral("/palisor-root.XXXXXX"))
    , m_home(QDir::tempPath() + QStringLiteral("/palisor-home.XXXXXX"))
{
}

RootAndHomeFixture::~RootAndHomeFixture() = default;

void RootAndHomeFixture::SetUp()
{
    ASSERT_TRUE(m_root.isValid());
    ASSERT_TRUE(m_home.isValid());
    m_rootVariable = std::make_unique<ScopedEnvironmentVariable>("PALISOR_ROOT", m_root.path().toLocal8Bit());
    m_homeVariable = std::make_unique<ScopedEnvironmentVariable>("HOME", m_home.path().toLocal8Bit());
}

void RootAndHomeFixture::TearDown()
{
    m_homeVariable.reset();
    m_rootVariable.reset();
}

QString RootAndHomeFixture::rootPath(const QString& absolutePath) const
{
    return m_root.path() + absolutePath;
}

QString RootAndHomeFixture::homePath(const QString& relative) const
{
    return m_home.path() + QLatin1Char('/') + relative;
}

void RootAndHomeFixture::writePlist(const QString& path, const QVariant& value, bool binary) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(PropertyList::writeFile(path, value,
                                        binary ? PropertyList::Format::Binary : PropertyList::Format::Xml));
}

void RootAndHomeFixture::writeText(const QString& path, const QByteArray& text) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray RootAndHomeFixture::readText(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
