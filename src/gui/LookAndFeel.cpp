#include "gui/LookAndFeel.h"

#include "gui/Dialogs.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QRadioButton>
#include <QWidget>

#include <filesystem>
#include <system_error>

namespace qb {

namespace {

// Skins and pointer images are small; anything bigger is not one of ours
// and would only stall the window.
constexpr qint64 kLargestLookFile = 1 << 20;

std::optional<QByteArray> ReadSmallFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestLookFile)
        return std::nullopt;
    QByteArray bytes = file.read(kLargestLookFile + 1);
    if (bytes.size() > kLargestLookFile)
        return std::nullopt;
    return bytes;
}

quint16 LittleEndian16(const QByteArray& bytes, int at)
{
    return static_cast<quint16>(static_cast<quint8>(bytes[at]) | (static_cast<quint8>(bytes[at + 1]) << 8));
}

// A cursor file is an icon file of type 2 whose first entry keeps the
// hotspot where an icon keeps its planes and bit count.
std::optional<QPoint> CursorHotspot(const QByteArray& bytes)
{
    constexpr int kHeader = 6;
    constexpr int kEntry = 16;
    if (bytes.size() < kHeader + kEntry || LittleEndian16(bytes, 0) != 0 || LittleEndian16(bytes, 2) != 2)
        return std::nullopt;
    return QPoint(LittleEndian16(bytes, kHeader + 4), LittleEndian16(bytes, kHeader + 6));
}

// fill: the widget paints its own background. Only the window does: a label or a box that filled its
// own rectangle would cut the frame lines it overlaps; they take the face colour and show the window's.
void PaintFace(QWidget* widget, const QColor& face, bool fill)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, face);
    widget->setPalette(palette);
    widget->setAutoFillBackground(fill);
}

}  // namespace

QString ProgramFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString ProgramFile(const QString& folder, const QString& name)
{
    const QString own = folder + QLatin1Char('/') + name;
    // Installed, the shipped files live in the shared data folder rather than
    // among the executables; one put beside the program still wins.
    if (!FileIsPresent(own)) {
        const QString shared = folder + QLatin1String("/" QB_SHARED_FILES_FROM_PROGRAM "/") + name;
        if (FileIsPresent(shared))
            return shared;
    }
    return own;
}

bool FileIsPresent(const QString& path)
{
    if (path.isEmpty())
        return false;
    std::error_code error;
    (void)std::filesystem::last_write_time(std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    return !error;
}

QString ShortenedTitle(const QString& displayName)
{
    QString title = displayName;
    do {
        const qsizetype space = title.lastIndexOf(QLatin1Char(' '));
        if (space < 0)
            break;
        title.truncate(space);
    } while (title.size() > 40);
    return title;
}

void SetApplicationTitle()
{
    UseApplicationTitle(ShortenedTitle(QLatin1String(kProductName)).toStdString());
}

QColor FaceColour()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Button);
}

void ApplyWindowColours(QWidget* window)
{
    if (!window)
        return;
    const QColor face = FaceColour();
    PaintFace(window, face, true);
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) ||
            qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child))
            PaintFace(child, face, false);
    }
}

SkinOutcome ApplySkin(QWidget* window, const QString& programFolder)
{
    const QString path = ProgramFile(programFolder, QLatin1String(kSkinFile));
    if (!window || !QFileInfo(path).isFile())
        return SkinOutcome::Absent;

    ApplyWindowColours(window);
    const std::optional<QByteArray> sheet = ReadSmallFile(path);
    if (!sheet)
        return SkinOutcome::Unreadable;
    // Qt warns about and ignores a sheet it cannot parse.
    window->setStyleSheet(QString::fromUtf8(*sheet));
    return SkinOutcome::Applied;
}

std::optional<QCursor> LoadPointerImage(const QString& path)
{
    if (!FileIsPresent(path))
        return std::nullopt;
    const std::optional<QByteArray> bytes = ReadSmallFile(path);
    if (!bytes)
        return std::nullopt;
    const QImage image = QImage::fromData(*bytes, "ico");
    if (image.isNull())
        return std::nullopt;

    QPoint hotspot(image.width() / 2, image.height() / 2);
    if (const std::optional<QPoint> own = CursorHotspot(*bytes))
        hotspot = QPoint(qBound(0, own->x(), image.width() - 1), qBound(0, own->y(), image.height() - 1));
    return QCursor(QPixmap::fromImage(image), hotspot.x(), hotspot.y());
}

}  // namespace qb
