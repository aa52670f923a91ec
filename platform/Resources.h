#pragma once

#include <QIcon>
#include <QString>

// The bundle's Contents/Resources folder, found from the running executable
// (Contents/MacOS/<exe>) as the main bundle is, and the named images in it.
class Resources
{
public:
    static QString resourcesPath();
    // Tests and tools that do not run from inside the bundle point here.
    static void setResourcesPath(const QString& path);

    // The bundle's CFBundleName (its Info.plist beside the resources); "" when
    // there is none.
    static QString bundleName();

    // Full path of "name.type" (or "name" when type is empty) among the
    // resources; "" when there is no such file.
    static QString pathForResource(const QString& name, const QString& type = {});

    // An image resource by name: "<name>.svg", else "<name>.png". "" / a null
    // icon when the name does not resolve.
    static QString imagePath(const QString& name);
    static QIcon image(const QString& name);

    // The platform's standard images by their names ("NSCaution",
    // "NSComputer", "NSLockLockedTemplate", "NSStatusAvailable", ...): our own
    // resource of that name when there is one, else the style's nearest icon;
    // a null icon for a name we do not know.
    static QIcon systemImage(const QString& name);
    // The style's icons come from the widgets layer, which installs this.
    using StandardImageProvider = QIcon (*)(const QString& name);
    static void setStandardImageProvider(StandardImageProvider provider);

    // For images the program cannot run without: a name that does not resolve
    // is a broken installation, so the process stops with a message.
    static QIcon requiredImage(const QString& name);
};
