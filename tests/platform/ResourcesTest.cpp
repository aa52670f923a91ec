#include "platform/Resources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <array>

namespace {

// Images the agent cannot run without.
const std::array<const char*, 18> kRequiredImages = {
    "passedup",
    "blockedup",
    "altpassedup",
    "altblockedup",
    "unknownapp",
    "genericapp",
    "palisor",
    "icon_ip",
    "icon_subnet",
    "icon_port",
    "icon_portrange",
    "shield2Template",
    "shield2LockedTemplate",
    "shield2Template-light",
    "shield2LockedTemplate-light",
    "NSStatusAvailable",
    "NSStatusPartiallyAvailable",
    "NSStatusUnavailable",
};

QImage render(const QString& path, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, size, size));
    return image;
}

int visiblePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    return count;
}

} // namespace

TEST(ResourcesTest, RequiredImagesResolveToValidSvgInTheBundle)
{
    for (const char* raw : kRequiredImages) {
        const QString name = QString::fromLatin1(raw);
        SCOPED_TRACE(raw);

        const QString path = Resources::imagePath(name);
        ASSERT_FALSE(path.isEmpty());
        EXPECT_TRUE(QFileInfo(path).isFile());
        EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(Resources::resourcesPath()).absoluteFilePath());
        EXPECT_TRUE(path.endsWith(QLatin1String(".svg")));

        QSvgRenderer renderer(path);
        EXPECT_TRUE(renderer.isValid());
        EXPECT_FALSE(renderer.defaultSize().isEmpty());

        // Self-contained vector art: nothing that depends on fonts, other
        // files or embedded bitmaps, which would not scale or might not load.
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray svg = file.readAll();
        EXPECT_TRUE(svg.contains("viewBox="));
        EXPECT_FALSE(svg.contains("<text"));
        EXPECT_FALSE(svg.contains("<image"));
        EXPECT_FALSE(svg.contains("href"));

        EXPECT_GT(visiblePixels(render(path, 16)), 16 * 16 / 8);

        const QIcon icon = Resources::requiredImage(name);
        ASSERT_FALSE(icon.isNull());
        EXPECT_FALSE(icon.pixmap(QSize(32, 32)).isNull());
        EXPECT_FALSE(Resources::image(name).isNull());
    }
}

TEST(ResourcesTest, UnresolvedNamesGiveNoImage)
{
    const std::array<const char*, 4> names = {"no-such-image", "", "../Resources/passedup", "passedup.svg"};
    for (const char* raw : names) {
        const QString name = QString::fromLatin1(raw);
        SCOPED_TRACE(raw);
        EXPECT_EQ(Resources::imagePath(name), QString());
        EXPECT_TRUE(Resources::image(name).isNull());
    }
}

TEST(ResourcesDeathTest, MissingRequiredImageStopsTheProcess)
{
    EXPECT_DEATH(Resources::requiredImage(QStringLiteral("no-such-image")), "no-such-image");
}

// Not a check but a picture for reviewers: every image at 64 and 16 px, the
// 16 px one also magnified, on a light and on a dark background.
TEST(ResourcesTest, WritesContactSheet)
{
    constexpr int cell = 80;
    constexpr int magnified = 64;
    constexpr int rowHeight = 64 + 16 + magnified + 4 * 8;
    const int width = int(kRequiredImages.size()) * cell + 8;
    QImage sheet(width, 2 * rowHeight, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&sheet);
    const std::array<QColor, 2> backgrounds = {QColor(0xf6, 0xf6, 0xf6), QColor(0x2a, 0x2a, 0x2c)};

    for (int row = 0; row < 2; ++row) {
        const int top = row * rowHeight;
        painter.fillRect(0, top, width, rowHeight, backgrounds[size_t(row)]);
        for (size_t i = 0; i < kRequiredImages.size(); ++i) {
            const QString path = Resources::imagePath(QString::fromLatin1(kRequiredImages[i]));
            ASSERT_FALSE(path.isEmpty()) << kRequiredImages[i];
            const int left = 8 + int(i) * cell;
            painter.drawImage(left, top + 8, render(path, 64));
            const QImage small = render(path, 16);
            painter.drawImage(left + 24, top + 80, small);
            painter.drawImage(QRect(left, top + 104, magnified, magnified), small);
        }
    }
    painter.end();

    const QString dir = QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots");
    ASSERT_TRUE(QDir().mkpath(dir));
    EXPECT_TRUE(sheet.save(dir + QStringLiteral("/images.png")));
}
