// Checks the compiled-in images: every image of the list is reachable as
// :/image/Resources/images/<name>, loads at its size, is not empty and still reads at 16 px; the
// application icon carries all of its sizes; the resources hold nothing else.
//
//   kv-icon-check [--compare <dir>] [--sheet <contact_sheet.png>]
//
// --compare: every image in <dir> (the copies the viewer reads from ./Resources/images) equals
// the compiled-in one pixel for pixel, so the copies cannot drift from the SVG sources.
// --sheet: writes every image at 64, 32 and 16 px on a light and on a dark background, the
// 32 px version also enlarged twice without smoothing, to judge the button size pixel by pixel.
// Exit status 0 when all is well.
#include "icon_list.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QString kRoot = QStringLiteral(":/image/Resources/images/");

// A glyph that reads at 16 px covers at least this many of the 256 pixels half-opaquely and
// spans at least half the square one way or the other: a faint speck or a hairline does not.
constexpr int kMinCovered16 = 24;
constexpr int kMinSpan16 = 8;

struct Coverage {
    int covered = 0;
    int spanX = 0, spanY = 0;
};

Coverage coverage(const QImage& img) {
    Coverage c;
    int x0 = img.width(), y0 = img.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (qAlpha(img.pixel(x, y)) < 128) continue;
            ++c.covered;
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    }
    c.spanX = x1 < 0 ? 0 : x1 - x0 + 1;
    c.spanY = y1 < 0 ? 0 : y1 - y0 + 1;
    return c;
}

bool writeContactSheet(const QString& path, const std::vector<QString>& names) {
    const int cols = 5, cellW = 256, cellH = 104;
    const int rows = int((names.size() + cols - 1) / cols);
    QImage sheet(cols * cellW, rows * cellH, QImage::Format_ARGB32);
    sheet.fill(QColor(0xEE, 0xEF, 0xF1));
    QPainter p(&sheet);
    QFont label(QStringLiteral("DejaVu Sans"));
    label.setPixelSize(11);
    p.setFont(label);
    for (size_t i = 0; i < names.size(); ++i) {
        const int x = int(i % cols) * cellW, y = int(i / cols) * cellH;
        p.setPen(QColor(0xC8, 0xCC, 0xD0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(x, y, cellW - 1, cellH - 1);
        const QIcon icon(kRoot + names[i]);
        const QPixmap px32 = icon.pixmap(32, 32);
        p.drawPixmap(x + 6, y + 8, icon.pixmap(64, 64));
        p.drawPixmap(QRect(x + 76, y + 8, 64, 64), px32);
        p.drawPixmap(x + 146, y + 8, px32);
        p.drawPixmap(x + 154, y + 50, icon.pixmap(16, 16));
        p.fillRect(QRect(x + 186, y + 4, 64, 72), QColor(0x33, 0x36, 0x3B));
        p.drawPixmap(x + 202, y + 8, px32);
        p.drawPixmap(x + 210, y + 50, icon.pixmap(16, 16));
        p.setPen(QColor(0x20, 0x24, 0x28));
        p.drawText(QRect(x + 6, y + cellH - 26, cellW - 12, 22), Qt::AlignLeft | Qt::AlignVCenter, names[i]);
    }
    p.end();
    return sheet.save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QString compareDir, sheetPath;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--compare") && i + 1 < args.size()) {
            compareDir = args[++i];
        } else if (args[i] == QLatin1String("--sheet") && i + 1 < args.size()) {
            sheetPath = args[++i];
        } else {
            std::fprintf(stderr, "usage: kv-icon-check [--compare <dir>] [--sheet <contact_sheet.png>]\n");
            return 2;
        }
    }
    int failures = 0;
    auto fail = [&](const QString& what) {
        std::fprintf(stderr, "icon_check: %s\n", qPrintable(what));
        ++failures;
    };

    QSet<QString> expected;
    std::vector<QString> names{QString::fromUtf8(kv_icons::kAppIcon)};
    for (const char* name : kv_icons::kPngIcons) {
        names.push_back(QString::fromUtf8(name));
        const QString path = kRoot + names.back();
        expected.insert(path);
        const QImage img(path);
        if (img.isNull()) {
            fail(path + QStringLiteral(" does not load"));
            continue;
        }
        if (img.width() != kv_icons::kPngSize || img.height() != kv_icons::kPngSize || !img.hasAlphaChannel()) {
            fail(path + QStringLiteral(" is not a %1 px square with alpha").arg(kv_icons::kPngSize));
        }
        const Coverage full = coverage(img.convertToFormat(QImage::Format_ARGB32));
        if (full.covered == 0) fail(path + QStringLiteral(" is empty"));
        const Coverage small = coverage(
            img.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_ARGB32));
        if (small.covered < kMinCovered16 || std::max(small.spanX, small.spanY) < kMinSpan16) {
            fail(path + QStringLiteral(" does not read at 16 px: %1 pixels covered, %2 x %3")
                            .arg(small.covered).arg(small.spanX).arg(small.spanY));
        }
    }

    const QString ico = kRoot + QString::fromUtf8(kv_icons::kAppIcon);
    expected.insert(ico);
    QImageReader reader(ico);
    QSet<int> sizes;
    for (int i = 0; i < reader.imageCount() && reader.jumpToImage(i); ++i) {
        const QImage img = reader.read();
        if (coverage(img.convertToFormat(QImage::Format_ARGB32)).covered == 0) fail(ico + QStringLiteral(" holds an empty image"));
        sizes.insert(img.width());
    }
    for (int s : kv_icons::kAppIconSizes) {
        if (!sizes.contains(s)) fail(ico + QStringLiteral(" lacks the %1 px image").arg(s));
    }
    const QIcon icon(ico);
    if (icon.isNull() || icon.pixmap(16, 16).isNull()) fail(ico + QStringLiteral(" is not usable as a QIcon"));

    QDirIterator it(kRoot, QDir::Files);
    int found = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        ++found;
        if (!expected.contains(path)) fail(path + QStringLiteral(" is not in the image list"));
    }
    if (found != expected.size()) fail(QStringLiteral("%1 files in the resources, %2 expected").arg(found).arg(expected.size()));

    if (!compareDir.isEmpty()) {
        const QDir dir(compareDir);
        for (const char* name : kv_icons::kPngIcons) {
            const QString copy = dir.filePath(QString::fromUtf8(name));
            const QImage a(copy), b(kRoot + QString::fromUtf8(name));
            if (a.isNull() || a.convertToFormat(QImage::Format_ARGB32) != b.convertToFormat(QImage::Format_ARGB32)) {
                fail(copy + QStringLiteral(" differs from its SVG source (run scripts/make_icons.sh)"));
            }
        }
        QFile copyIco(dir.filePath(QString::fromUtf8(kv_icons::kAppIcon))), builtIco(ico);
        if (!copyIco.open(QIODevice::ReadOnly) || !builtIco.open(QIODevice::ReadOnly) || copyIco.readAll() != builtIco.readAll()) {
            fail(copyIco.fileName() + QStringLiteral(" differs from its SVG source (run scripts/make_icons.sh)"));
        }
    }
    if (!sheetPath.isEmpty() && !writeContactSheet(sheetPath, names)) fail(QStringLiteral("cannot write ") + sheetPath);

    if (failures == 0) std::printf("icon_check: %d images reachable under %s\n", found, qPrintable(kRoot));
    return failures == 0 ? 0 : 1;
}
