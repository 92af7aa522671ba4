// MP3 decoding with libmpg123, gapless.
#include <mpg123.h>

#include <mutex>

#include "platform/audio_decode.h"

namespace platform::audio_detail {

struct Mp3Stream {
  mpg123_handle* handle = nullptr;
  int channels = 0;
  bool ended = false;  // the channel count changed: nothing more is read
};

namespace {

// mpg123 reads through these so that memory blocks, offsets and lengths all
// take the same path as plain files.
mpg123_ssize_t ReadForMpg123(void* handle, void* destination, size_t n) {
  return static_cast<mpg123_ssize_t>(ReadBytes(*static_cast<ByteSource*>(handle), destination, n));
}

off_t SeekForMpg123(void* handle, off_t offset, int whence) {
  auto& io = *static_cast<ByteSource*>(handle);
  std::int64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<std::int64_t>(io.pos);
  if (whence == SEEK_END) base = static_cast<std::int64_t>(io.size);
  std::int64_t target = base + static_cast<std::int64_t>(offset);
  if (target < 0 || !SeekBytes(io, static_cast<std::uint64_t>(target))) return -1;
  return static_cast<off_t>(io.pos);
}

void InitMpg123Once() {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
}

}  // namespace

Mp3Stream* OpenMp3(ByteSource& io, int& rate, int& channels) {
  InitMpg123Once();
  int error = MPG123_OK;
  mpg123_handle* mh = mpg123_new(nullptr, &error);
  if (!mh) return nullptr;
  // Gapless decoding honours the encoder's delay and padding from the
  // LAME/Info tag, so the decoded length is the length that was encoded.
  mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
  mpg123_format_none(mh);
  const long* rates = nullptr;
  size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  for (size_t i = 0; i < rateCount; ++i) {
    mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  }
  long formatRate = 0;
  int formatChannels = 0, encoding = 0;
  if (mpg123_replace_reader_handle(mh, ReadForMpg123, SeekForMpg123, nullptr) != MPG123_OK ||
      mpg123_open_handle(mh, &io) != MPG123_OK ||
      mpg123_getformat(mh, &formatRate, &formatChannels, &encoding) != MPG123_OK || formatRate <= 0 ||
      formatChannels < 1 || encoding != MPG123_ENC_SIGNED_16) {
    mpg123_delete(mh);
    return nullptr;
  }
  rate = static_cast<int>(formatRate);
  channels = formatChannels;
  return new Mp3Stream{mh, formatChannels, false};
}

std::size_t DecodeMp3(Mp3Stream& mp3, std::vector<std::int16_t>& out, std::size_t maxFrames) {
  const std::size_t channels = static_cast<std::size_t>(mp3.channels);
  std::size_t appended = 0;
  while (!mp3.ended && appended < maxFrames) {
    std::size_t oldSize = out.size();
    std::size_t wantSamples = (maxFrames - appended) * channels;
    out.resize(oldSize + wantSamples);
    size_t done = 0;
    int result = mpg123_read(mp3.handle, reinterpret_cast<unsigned char*>(out.data() + oldSize),
                             wantSamples * sizeof(std::int16_t), &done);
    std::size_t frames = done / (sizeof(std::int16_t) * channels);
    out.resize(oldSize + frames * channels);
    appended += frames;
    if (result == MPG123_NEW_FORMAT) {
      long rate = 0;
      int newChannels = 0, encoding = 0;
      mpg123_getformat(mp3.handle, &rate, &newChannels, &encoding);
      // A stream that changes its channel count midway cannot go on in one
      // buffer; it ends where the change happens.
      if (newChannels != mp3.channels) mp3.ended = true;
      continue;
    }
    if (result != MPG123_OK) break;  // MPG123_DONE or an error: the data ends here
    if (frames == 0) break;
  }
  return appended;
}

bool RewindMp3(Mp3Stream& mp3) {
  if (mpg123_seek(mp3.handle, 0, SEEK_SET) != 0) return false;
  mp3.ended = false;
  return true;
}

void CloseMp3(Mp3Stream* mp3) {
  if (!mp3) return;
  mpg123_close(mp3->handle);
  mpg123_delete(mp3->handle);
  delete mp3;
}

}  // namespace platform::audio_detail
