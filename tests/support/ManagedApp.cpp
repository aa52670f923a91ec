#include "support/ManagedApp.h"

#include "core/SharedState.h"

std::shared_ptr<PAApplication> addManagedApp(ArrayController<PAApplication>& window, const QString& name,
                                             const QString& path, qint64 state, const QStringList& matches)
{
    auto app = std::make_shared<PAApplication>(name, QStringList{path}, false, false, path);
    app->setRule(state);
    app->setAppMatches(matches);
    sharedAppsLibrary.push_back(app);
    window.addObject(app);
    return app;
}
