// Layer III framing, which the Windows decoder relies on to hand its codec
// whole frames and to cut the encoder's delay and padding: headers, the
// ID3v2 tag and the Xing/Info frame of real LAME output.
#include <gtest/gtest.h>

#include <vector>

#include "platform/mp3_frames.h"
#include "support/mp3_fixture.h"

namespace {

using platform::audio_detail::Id3v2TagSize;
using platform::audio_detail::Mp3FrameHeader;
using platform::audio_detail::ParseMp3FrameHeader;
using platform::audio_detail::ReadMp3InfoFrame;

TEST(Mp3Frames, HeadersOfEveryVersionAndTheOnesRefused) {
  struct Case {
    unsigned char bytes[4];
    bool valid;
    int rate = 0, channels = 0, bitrate = 0, frameBytes = 0, samples = 0;
  };
  const Case cases[] = {
      // MPEG-1, 128 kbit/s, 44,100 Hz, joint stereo; then with the padding bit.
      {{0xFF, 0xFB, 0x90, 0x44}, true, 44100, 2, 128000, 417, 1152},
      {{0xFF, 0xFB, 0x92, 0x44}, true, 44100, 2, 128000, 418, 1152},
      // MPEG-1, 320 kbit/s, 48,000 Hz, mono, with a checksum.
      {{0xFF, 0xFA, 0xE4, 0xC0}, true, 48000, 1, 320000, 960, 1152},
      // MPEG-2, 64 kbit/s, 22,050 Hz, stereo.
      {{0xFF, 0xF3, 0x80, 0x00}, true, 22050, 2, 64000, 208, 576},
      // MPEG-2.5, 8 kbit/s, 8,000 Hz, mono.
      {{0xFF, 0xE3, 0x18, 0xC0}, true, 8000, 1, 8000, 72, 576},
      {{0xFF, 0xFB, 0x00, 0x44}, false},  // free format
      {{0xFF, 0xFB, 0xF0, 0x44}, false},  // bit rate index 15
      {{0xFF, 0xFB, 0x9C, 0x44}, false},  // reserved sample rate
      {{0xFF, 0xFD, 0x90, 0x44}, false},  // layer II
      {{0xFF, 0xEB, 0x90, 0x44}, false},  // reserved version
      {{0xFE, 0xFB, 0x90, 0x44}, false},  // no sync
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.bytes[1]) << " " << int(c.bytes[2]) << " "
                                    << int(c.bytes[3]));
    Mp3FrameHeader h;
    ASSERT_EQ(ParseMp3FrameHeader(c.bytes, h), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(h.rate, c.rate);
    EXPECT_EQ(h.channels, c.channels);
    EXPECT_EQ(h.bitrate, c.bitrate);
    EXPECT_EQ(h.bytes, c.frameBytes);
    EXPECT_EQ(h.samples, c.samples);
  }
}

TEST(Mp3Frames, Id3v2TagSizeCountsHeaderBodyAndFooter) {
  unsigned char tag[10] = {'I', 'D', '3', 4, 0, 0, 0, 0, 0x02, 0x01};
  EXPECT_EQ(Id3v2TagSize(tag, sizeof tag), 10u + 257u);
  tag[5] = 0x10;  // a footer follows
  EXPECT_EQ(Id3v2TagSize(tag, sizeof tag), 10u + 257u + 10u);
  tag[8] = 0x80;  // not a 7-bit size
  EXPECT_EQ(Id3v2TagSize(tag, sizeof tag), 0u);
  EXPECT_EQ(Id3v2TagSize(tag, 9), 0u);
  unsigned char frame[4] = {0xFF, 0xFB, 0x90, 0x44};
  EXPECT_EQ(Id3v2TagSize(frame, sizeof frame), 0u);
}

// LAME's output, frame by frame: an Info frame whose delay, padding and
// frame count give back the exact number of samples that went in.
TEST(Mp3Frames, LameInfoFrameGivesTheEncodedLength) {
  struct Case {
    double seconds;
    int rate;
    int channels;
  };
  for (Case c : {Case{0.5, 44100, 2}, Case{0.3137, 44100, 1}, Case{0.41, 22050, 2}, Case{0.05, 32000, 1}}) {
    SCOPED_TRACE(testing::Message() << c.seconds << " s " << c.rate << " Hz " << c.channels << " ch");
    std::vector<std::int16_t> pcm = testsupport::TestTone(c.seconds, c.rate, c.channels);
    std::vector<unsigned char> mp3 = testsupport::EncodeTestMp3(pcm, c.rate, c.channels);
    std::size_t at = Id3v2TagSize(mp3.data(), mp3.size());
    Mp3FrameHeader first;
    ASSERT_TRUE(ParseMp3FrameHeader(mp3.data() + at, first));
    auto info = ReadMp3InfoFrame(mp3.data() + at, static_cast<std::size_t>(first.bytes), first);
    ASSERT_TRUE(info.present);
    ASSERT_TRUE(info.gapless);
    at += static_cast<std::size_t>(first.bytes);
    std::uint32_t frames = 0;
    while (at + 4 <= mp3.size()) {
      Mp3FrameHeader h;
      ASSERT_TRUE(ParseMp3FrameHeader(mp3.data() + at, h)) << "frame " << frames << " at " << at;
      EXPECT_EQ(h.rate, c.rate);
      EXPECT_EQ(h.channels, c.channels);
      EXPECT_FALSE(ReadMp3InfoFrame(mp3.data() + at, static_cast<std::size_t>(h.bytes), h).present);
      at += static_cast<std::size_t>(h.bytes);
      ++frames;
    }
    EXPECT_EQ(at, mp3.size()) << "the frames fill the file";
    EXPECT_EQ(info.frames, frames) << "the count leaves the Info frame out";
    EXPECT_EQ(static_cast<std::size_t>(frames) * first.samples - info.delay - info.padding,
              pcm.size() / static_cast<std::size_t>(c.channels));
    EXPECT_GE(info.padding, platform::audio_detail::kMp3DecoderDelay) << "room for the decoder's delay at the end";
  }
}

}  // namespace
