#pragma once

#include <string>

#include <QString>
#include <QStringList>

class QMimeData;

#include "yuv/GeometryPolicy.h"
#include "yuv/LumoYuvReader.h"
#include "yuv/YuvGuess.h"

// Files the user chose (in a file chooser, by drag and drop, on the command
// line) before they become readers.

// What can be told about the file before opening it: a Y4M file's header,
// else what its name says (yuv/YuvGuess.h).
lumo::YuvGuess GuessChosenFile(const QString& path);

// Its geometry under the policy every program shares (yuv/GeometryPolicy.h):
// a Y4M file's header, else the given width and height and layout (0 and
// empty when not given), then what the name tells; a layout nothing gives
// is I420 with GeometryOrigin::Default.
lumo::FileGeometry ChosenGeometry(const lumo::YuvGuess& guess, int width = 0, int height = 0,
                                  const std::string& type = std::string());

// Whether the name ends in the extension of a video or picture format the
// media conversion reads (.mp4, .mkv, .png, ...); such files are converted,
// not read as raw YUV.
bool LooksLikeMedia(const QString& path);

// The message for a Y4M file that cannot be read; empty for any other file.
QString Y4mProblem(const QString& path, const lumo::YuvGuess& guess);

// The reader for a chosen file: a Y4M file with its header's width, height
// and layout, any other file with the given ones. False, with `problem`
// set, for a Y4M file that cannot be read.
bool ReaderForChosenFile(const QString& path, int width, int height, const std::string& type,
                         lumo::LumoYuvReader* reader, QString* problem);

// The local files among dragged or dropped data, in order.
QStringList LocalFiles(const QMimeData* data);

// Position of a layout in the layout table, -1 for an unknown name.
int LayoutIndex(const std::string& type);

// Remembers the folder of the last of `paths` as the one the next file
// chooser opens in.
void RememberOpenedFolder(const QStringList& paths);
// The folder a file chooser opens in: the last one files were opened from
// while it exists, else the home folder.
QString ChooserStartDir();

// A warning box without parent, titled "警告", as the open-file dialog shows.
void ShowWarning(const QString& text);
