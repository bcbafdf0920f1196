// Checks the compiled-in images: every image of the list is reachable as
// :/image/Resources/images/<name> and loads at its size, the application icon carries all of
// its sizes, and the resources hold nothing else. Exit status 0 when all is well.
#include "icon_list.h"

#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QSet>

#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString root = QStringLiteral(":/image/Resources/images/");
    int failures = 0;
    auto fail = [&](const QString& what) {
        std::fprintf(stderr, "icon_check: %s\n", qPrintable(what));
        ++failures;
    };

    QSet<QString> expected;
    for (const char* name : kv_icons::kPngIcons) {
        const QString path = root + QString::fromUtf8(name);
        expected.insert(path);
        const QImage img(path);
        if (img.isNull()) {
            fail(path + QStringLiteral(" does not load"));
        } else if (img.width() != kv_icons::kPngSize || img.height() != kv_icons::kPngSize ||
                   !img.hasAlphaChannel()) {
            fail(path + QStringLiteral(" is not a %1 px square with alpha").arg(kv_icons::kPngSize));
        }
    }

    const QString ico = root + QString::fromUtf8(kv_icons::kAppIcon);
    expected.insert(ico);
    QImageReader reader(ico);
    QSet<int> sizes;
    for (int i = 0; i < reader.imageCount() && reader.jumpToImage(i); ++i) sizes.insert(reader.read().width());
    for (int s : kv_icons::kAppIconSizes) {
        if (!sizes.contains(s)) fail(ico + QStringLiteral(" lacks the %1 px image").arg(s));
    }
    const QIcon icon(ico);
    if (icon.isNull() || icon.pixmap(16, 16).isNull()) fail(ico + QStringLiteral(" is not usable as a QIcon"));

    QDirIterator it(root, QDir::Files);
    int found = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        ++found;
        if (!expected.contains(path)) fail(path + QStringLiteral(" is not in the image list"));
    }
    if (found != expected.size()) fail(QStringLiteral("%1 files in the resources, %2 expected").arg(found).arg(expected.size()));

    if (failures == 0) std::printf("icon_check: %d images reachable under %s\n", found, qPrintable(root));
    return failures == 0 ? 0 : 1;
}
