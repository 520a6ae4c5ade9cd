// The tool's icon as the window gets it: every size there, drawn at its own size (a size
// missing or rendered at the wrong size would be scaled by the desktop and look blurred).

#include "ui/ToolIcon.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

using namespace vantrel::ui;

TEST(ToolIcon, EverySizeIsThereAtItsOwnSize) {
    const QIcon icon = ToolIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (int size : kToolIconSizes) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(sizes.contains(QSize(size, size)));
        const QImage image(QStringLiteral(":/icons/%1x%1/apps/vantrel.png").arg(size));
        ASSERT_FALSE(image.isNull()) << "no picture of this size in the program";
        EXPECT_EQ(image.size(), QSize(size, size));
        EXPECT_TRUE(image.hasAlphaChannel()) << "a square on the desktop's background";
        EXPECT_EQ(icon.pixmap(size).size(), QSize(size, size));
    }
}
