#include "core/PAExclusion.h"
#include "platform/Resources.h"
#include "platform/Workspace.h"

#include <QIcon>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Icons made from the same file are separate objects; compare what they show.
QImage pictureOf(const QIcon& icon)
{
    return icon.pixmap(QSize(32, 32)).toImage();
}

// The computer and folder pictures come from the widgets' style, as in the
// running agent.
TEST(ManagedFolderIconTest, ManagedFolderIconIsTheComputerForRootElseTheWorkspaceIcon)
{
    const QImage computer = pictureOf(Resources::systemImage(QStringLiteral("NSComputer")));
    ASSERT_FALSE(computer.isNull());
    PAExclusion root(QStringLiteral("/"), 0, false, false);
    EXPECT_EQ(pictureOf(root.icon()), computer);

    QTemporaryDir dir(QStringLiteral("/tmp/palisor-folder-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    PAExclusion folder(dir.path(), 0, false, false);
    const QImage workspace = pictureOf(Workspace::iconForFile(dir.path()));
    EXPECT_EQ(pictureOf(folder.icon()), workspace);
    EXPECT_NE(workspace, computer);
}

} // namespace
