#include "appidentity.h"
#include "mkestrunewidget.h"
#include "testsupport.h"
#include "workingdirectory.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

// The window's icon when the program starts from a launcher: icon.ico in the
// working directory when there is one, the installed theme icon under the
// desktop id otherwise. The theme is made of the committed icon files.
namespace {

using testsupport::WorkingDirectory;

const QList<int> IconSizes{16, 24, 32, 48, 64, 128, 256};

// The hicolor index of the freedesktop icon theme, for the sizes installed.
QByteArray hicolorIndex()
{
    QByteArray index = "[Icon Theme]\nName=Hicolor\nDirectories=";
    for (const int size : IconSizes)
        index += QByteArray::number(size) + 'x' + QByteArray::number(size) + "/apps,";
    index += '\n';
    for (const int size : IconSizes) {
        index += "\n[" + QByteArray::number(size) + 'x' + QByteArray::number(size) + "/apps]\n";
        index += "Size=" + QByteArray::number(size) + "\nContext=Applications\nType=Threshold\n";
    }
    return index;
}

QList<QSize> squareSizes(const QList<int> &sizes)
{
    QList<QSize> result;
    for (const int size : sizes)
        result << QSize(size, size);
    return result;
}

} // namespace

class tst_AppIcon final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void themeIconAtEverySize();
    void windowIcon_data();
    void windowIcon();

private:
    QTemporaryDir m_indexRoot;
};

void tst_AppIcon::initTestCase()
{
    // The theme index lives in a folder of its own; the icons are read from
    // data/icons in the source tree, as Qt merges a theme's folders found
    // along the search path.
    QVERIFY(m_indexRoot.isValid());
    const QString iconRoot = QFINDTESTDATA("../data/icons/hicolor");
    QVERIFY2(!iconRoot.isEmpty(), "data/icons/hicolor not found");
    QVERIFY(QDir().mkpath(m_indexRoot.filePath(QStringLiteral("hicolor"))));
    QFile index(m_indexRoot.filePath(QStringLiteral("hicolor/index.theme")));
    QVERIFY(index.open(QIODevice::WriteOnly));
    QVERIFY(index.write(hicolorIndex()) > 0);
    index.close();
    QIcon::setThemeSearchPaths({m_indexRoot.path(), QFileInfo(iconRoot).absolutePath()});
    QIcon::setThemeName(QStringLiteral("hicolor"));
}

void tst_AppIcon::cleanup()
{
    QApplication::setWindowIcon(QIcon());
}

void tst_AppIcon::themeIconAtEverySize()
{
    const QIcon icon = QIcon::fromTheme(QString::fromLatin1(kestruneAppId));
    QVERIFY(!icon.isNull());
    QList<QSize> sizes = icon.availableSizes();
    std::sort(sizes.begin(), sizes.end(), [](const QSize &a, const QSize &b) { return a.width() < b.width(); });
    QCOMPARE(sizes, squareSizes(IconSizes));
    for (const int size : IconSizes) {
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        // The tile's centre is opaque in the drawn design.
        QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
    }
}

void tst_AppIcon::windowIcon_data()
{
    QTest::addColumn<bool>("iconFile");
    QTest::addColumn<QList<QSize>>("sizes");
    // A 40x40 icon.ico is told apart from the theme's sizes.
    QTest::newRow("icon.ico in the working directory") << true << QList<QSize>{QSize(40, 40)};
    QTest::newRow("no icon.ico: the installed icon") << false << squareSizes(IconSizes);
}

void tst_AppIcon::windowIcon()
{
    QFETCH(bool, iconFile);
    QFETCH(QList<QSize>, sizes);

    QApplication::setWindowIcon(QIcon::fromTheme(QString::fromLatin1(kestruneAppId)));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (iconFile) {
        QImage image(40, 40, QImage::Format_ARGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(dir.filePath(QStringLiteral("icon.ico")), "ICO"));
    }
    const WorkingDirectory cwd(dir.path());
    mKestruneWidget window;

    const QIcon icon = window.windowIcon();
    QList<QSize> available = icon.availableSizes();
    std::sort(available.begin(), available.end(), [](const QSize &a, const QSize &b) { return a.width() < b.width(); });
    QCOMPARE(available, sizes);
    // What a task bar asks for: an image, whichever icon applies.
    QVERIFY(!icon.pixmap(QSize(32, 32)).isNull());
}

QTEST_MAIN(tst_AppIcon)
#include "tst_appicon.moc"
