#pragma once

#include <QByteArray>

namespace tollvik::cli {

// The playing time of an Ogg Vorbis stream in seconds, or -1 when it cannot be decoded.
[[nodiscard]] double oggSeconds(const QByteArray& ogg);

} // namespace tollvik::cli
