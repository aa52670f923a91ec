#pragma once

#include "core/PAApplication.h"
#include "platform/ArrayController.h"

#include <QStringList>

#include <memory>

// A single executable at `path`, managed with `state` and `matches`: in the
// shared list and at the end of the window's list behind `window`.
std::shared_ptr<PAApplication> addManagedApp(ArrayController<PAApplication>& window, const QString& name,
                                             const QString& path, qint64 state, const QStringList& matches);
