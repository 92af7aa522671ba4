#pragma once
// The show's music: synthesised by our own code and encoded to MP3.
#include <string>

namespace assetgen {

// Writes "music.mp3" to path: 44,100 Hz 16-bit stereo MPEG-1 Layer III with an
// Info/LAME tag (encoder delay and padding) so that decoders can play it
// gaplessly. Returns false when encoding or writing fails.
bool WriteMusicMp3(const std::string& path);

}  // namespace assetgen
