#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace tarnwick {

// Reads the text of a QR code in an image, such as the crop the editor's QR tool
// takes. Several codes: the biggest wins.
namespace QRCodeRecognizer {

// How the editor reads a code; another reader can be supplied in its place.
using Reader = std::function<std::optional<QString>(const QImage&)>;

// The payload of the largest QR code with a non-empty text payload; no value when
// there is none. Codes with binary payloads are ignored. Blocks. Throws
// TarnwickError for an image too large to search.
std::optional<QString> recognize(const QImage& image);

// A decoded code: its text and the area of its upright bounding box, as a share of
// the image.
struct Code {
    QString payload;
    double area = 0;
};

// The payload of the code with the strictly largest area, the earliest among equals;
// codes with empty payloads do not count.
std::optional<QString> largest(const std::vector<Code>& codes);

} // namespace QRCodeRecognizer

} // namespace tarnwick
