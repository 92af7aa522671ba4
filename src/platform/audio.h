#pragma once
// The audio library: one output device, MP3/WAV streams decoded to 16-bit
// PCM, their playback position, end notifications, in-memory samples and a
// reverb on the whole output. Handles are 32-bit numbers, 0 = none/failure.
//
// Threads: the device pulls mixed audio on its own thread. End notifications
// are delivered on a second thread of this module, never while the mixer's
// lock is held, so a handler may stop the output, free streams and create
// and play new ones.
#include <cstdint>
#include <string_view>
#include <vector>

namespace platform {

// The version word: low 16 bits 1, high 16 bits 5.
inline constexpr std::uint32_t kAudioVersion = (5u << 16) | 1u;

inline constexpr std::uint32_t kAudioDeviceMono = 2;  // AudioInit flag
inline constexpr std::uint32_t kSyncEnd = 2;          // ChannelSetSync type

// ChannelIsActive results.
inline constexpr std::uint32_t kChannelStopped = 0;
inline constexpr std::uint32_t kChannelPlaying = 1;

using SyncProc = void (*)(std::uint32_t sync, std::uint32_t channel, std::uint32_t data, void* user);

std::uint32_t AudioGetVersion();

// device 0 (or 0xFFFFFFFF) is the default output, n >= 1 the n-th output the
// system lists. false when the audio system or the device cannot be opened,
// or when the library is already set up. The output starts stopped.
bool AudioInit(std::uint32_t device, std::uint32_t rate, std::uint32_t flags, void* window);
bool AudioStart();
bool AudioStop();
// Closes the device and releases every stream, sample and notification.
void AudioFree();

// A stream from a file (source = zero-terminated name) or from memory
// (source = encoded bytes, length bytes of them; the caller keeps them valid
// while the stream exists). offset skips bytes at the start; length 0 for a
// file means up to its end. MP3 (gapless) or WAV, decoded to 16-bit at the
// file's own rate and channel count. 0 when it cannot be opened or decoded.
std::uint32_t StreamCreateFile(bool fromMemory, const void* source, std::uint32_t offset,
                               std::uint32_t length, std::uint32_t flags);
// Plays from the beginning (flush = true) or goes on where it was stopped.
bool StreamPlay(std::uint32_t handle, bool flush, std::uint32_t flags);
bool StreamFree(std::uint32_t handle);

// Registers proc for the channel's end (type kSyncEnd). Returns the
// notification's handle, 0 for an unknown channel or type.
std::uint32_t ChannelSetSync(std::uint32_t handle, std::uint32_t type, std::uint64_t param,
                             SyncProc proc, void* user);
// For a stream or a sample playback: playing or stopped. For a sample: playing
// while any of its playbacks plays.
std::uint32_t ChannelIsActive(std::uint32_t handle);
// Bytes of the decoded stream that have been heard: what was handed to the
// device less what it still holds, advancing smoothly between device
// callbacks, never decreasing within one playback and never ahead of what
// was decoded. 0 for an unknown handle.
std::uint32_t ChannelGetPosition(std::uint32_t handle);
// Moves a stream to that count of decoded bytes (rounded down to a whole
// frame), exactly and gaplessly: the next samples handed out are those of
// the whole decode at that offset, and the position reads that count. A
// playing stream goes on playing from there, a stopped or paused one stays
// so; one that had ended is stopped there. false for an unknown handle, a
// source that cannot be read again, or a position at or past its end
// (nothing changes then). Decodes from the start up to the position, off the
// device's lock, so the output keeps playing meanwhile.
bool ChannelSetPosition(std::uint32_t handle, std::uint32_t position);
// Pauses a playing stream where it is (its position stops advancing) and
// resumes it from there. false for an unknown handle or a stream that is
// not playing (pause) or not paused (resume).
bool ChannelPause(std::uint32_t handle);
bool ChannelResume(std::uint32_t handle);
// Peak level of the audio last handed out: left in the low 16 bits, right in
// the high 16 bits, each 0 to 32768. 0 for a channel that is not playing.
std::uint32_t ChannelGetLevel(std::uint32_t handle);

// Loads a whole WAV (or MP3) into memory. maxPlaybacks bounds how many of its
// playbacks may sound at once. 0 on failure.
std::uint32_t SampleLoad(bool fromMemory, const void* source, std::uint32_t offset,
                         std::uint32_t length, std::uint32_t maxPlaybacks, std::uint32_t flags);
// Starts a new playback and returns its handle; 0 for handle 0, an unknown
// sample or when maxPlaybacks are already sounding.
std::uint32_t SamplePlay(std::uint32_t handle);
bool SampleStop(std::uint32_t handle);

// The reverb on the whole output. environment 0..25 chooses the room (its
// size and early reflections, as the standard environments of that number),
// volume 0..1 the wet level, decay the time in seconds for the tail to fall
// by 60 dB at low frequencies (0.1..20), damping the high-frequency decay
// time over that one (1 equal, below 1 the highs die first; 0.1..2, less
// counts as 0.1). A negative value leaves that setting as it was; volume 0
// silences the reverb.
bool SetEAXParameters(std::int32_t environment, float volume, float decay, float damping);

struct ReverbSettings {
  std::int32_t environment = 0;
  float volume = 0.0f;
  float decay = 1.493f;
  float damping = 0.5f;
};
ReverbSettings GetEAXParameters();

// Decodes a whole MP3 or WAV file through the stream decoder into
// interleaved 16-bit samples. false when it cannot be read or decoded.
bool DecodeAudioFile(std::string_view path, std::vector<std::int16_t>& samples, int& rate,
                     int& channels);

// Runs the mixer into out (frames x the device's channel count) on the
// caller's thread, exactly as the device would pull it. For tests and
// offline rendering; stop the output first so the device does not pull in
// between. false (and silence) when the library is not set up.
bool MixOffline(std::int16_t* out, int frames);
// The device's format as opened: rate and channel count (0 when not set up).
int AudioDeviceRate();
int AudioDeviceChannels();

// Every library operation above (not DecodeAudioFile, MixOffline or the
// format queries) adds one; tests use it to see that a caller called nothing.
std::uint64_t AudioCallCount();

}  // namespace platform
