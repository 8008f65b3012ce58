#pragma once

#include <QColor>
#include <QCursor>
#include <QString>

#include <optional>

class QWidget;

namespace qb {

inline constexpr const char* kProductName = "Quillbarrow";
// Optional files of the program folder (or of the shared data folder).
inline constexpr const char* kHandPointerFile = "HAND-M.CUR";
inline constexpr const char* kDragPointerFile = "drag.ico";
inline constexpr const char* kSkinFile = "x/o.cjs";
inline constexpr const char* kAppIconFile = "quillbarrow.png";

// The folder the executable runs from.
QString ProgramFolder();
// NAME in FOLDER; when absent there but present in the shared data folder
// beside it (FOLDER/../share/quillbarrow), that one.
QString ProgramFile(const QString& folder, const QString& name);

// True when the file system can tell the path's modification time; folders
// count as present.
bool FileIsPresent(const QString& path);

// The display name cut before its last space, again while longer than 40
// characters. A name without a space stays whole.
QString ShortenedTitle(const QString& displayName);
// Makes the shortened product name the caption of untitled boxes.
void SetApplicationTitle();

// The system's button face.
QColor FaceColour();
// The face colour on the window and on its option buttons, check boxes,
// frames and labels; other controls keep theirs.
void ApplyWindowColours(QWidget* window);

enum class SkinOutcome { Absent, Applied, Unreadable };
// With "x/o.cjs" in the folder: the face colours, then the file as the
// window's style sheet. Without it the window keeps its own colours.
SkinOutcome ApplySkin(QWidget* window, const QString& programFolder = ProgramFolder());

// A pointer image from a .cur or .ico file. Cursor files carry their own
// hotspot; icons point with their centre. Nothing when absent or unreadable.
std::optional<QCursor> LoadPointerImage(const QString& path);

}  // namespace qb
