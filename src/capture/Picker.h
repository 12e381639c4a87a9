#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <optional>

namespace tarnwick::capture {

// The command line of the picker: `-i -x -t png [-w -o] FILE`.
struct PickerArguments {
    bool pickWindow = false;    // -w: a click picks the window under the pointer
    bool withoutShadow = false; // -o: leave a window's client-drawn shadow out
    QString file;

    // Nothing, and a sentence in `error`, for anything else.
    static std::optional<PickerArguments> parse(const QStringList& arguments, QString* error);
};

// Exit codes of the picker program.
enum PickerExit { pickerSaved = 0, pickerCancelled = 1, pickerFailed = 2 };

// Writes `image` to `path` as a PNG whose pHYs chunk records `scale`
// (72 dpi at scale 1), through a temporary file renamed over the target.
// Throws TarnwickError.
void writeShot(QImage image, double scale, const QString& path);

// Started with `standbyArgument` alone, the program loads and connects, then
// waits on its standard input for one command line, each argument followed by
// a NUL and the line ended by an empty one; it grabs nothing before that line.
// End of input before it exits with pickerCancelled.
inline constexpr const char* standbyArgument = "--standby";

// The whole program: freezes the screens, lets the user pick, writes FILE.
// Returns a PickerExit.
int runPicker(int argc, char** argv);

} // namespace tarnwick::capture
