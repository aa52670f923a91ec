#pragma once

#include "support/ScopedEnvironmentVariable.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <memory>

// A root and a home of the test's own, made under /tmp, in PALISOR_ROOT and
// HOME from SetUp() to TearDown(), and the helpers that write into them.
class RootAndHomeFixture : public ::testing::Test
{
protected:
    RootAndHomeFixture();
    ~RootAndHomeFixture() override;

    void SetUp() override;
    void TearDown() override;

    // A path inside the test's root ("/etc/palisor.conf" -> <root>/etc/palisor.conf).
    QString rootPath(const QString& absolutePath) const;
    QString homePath(const QString& relative) const;
    // Writes a property list, making the folders.
    void writePlist(const QString& path, const QVariant& value, bool binary = false) const;
    void writeText(const QString& path, const QByteArray& text) const;
    QByteArray readText(const QString& path) const;

    QTemporaryDir m_root;
    QTemporaryDir m_home;
    std::unique_ptr<ScopedEnvironmentVariable> m_rootVariable;
    std::unique_ptr<ScopedEnvironmentVariable> m_homeVariable;
};
