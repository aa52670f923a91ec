#pragma once

#include "platform/Resources.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

// The main of a benchmark that builds agent objects: a QApplication on the
// offscreen platform, the bundle's resources, and a sandbox for everything
// the agent writes (user defaults, its log, the root), so that no run touches
// the real ones.
inline int runAgentBenchmarks(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir sandbox;
    const QByteArray path = sandbox.path().toLocal8Bit();
    setenv("XDG_CONFIG_HOME", path.constData(), 1);
    setenv("HOME", path.constData(), 1);
    setenv("PALISOR_ROOT", path.constData(), 1);
    QApplication app(argc, argv);
    Resources::setResourcesPath(QStringLiteral(PALISOR_BENCH_BUNDLE_DIR "/Contents/Resources"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
