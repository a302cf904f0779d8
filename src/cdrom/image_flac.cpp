#include "cdrom/image_flac.h"

#include <FLAC/stream_decoder.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "cdrom/image_file_io.h"

namespace tonvik::cdrom::image_io {
namespace {

class FlacFile : public ImageFile {
 public:
  ~FlacFile() override { Close(); }

  static std::unique_ptr<ImageFile> Open(int fd, const std::string& name, std::string* error) {
    std::unique_ptr<FlacFile> file(new FlacFile(fd));
    auto fail = [&](const std::string& what) {
      *error = Quoted(name) + " " + what;
      return nullptr;
    };
    if (!file->Start()) {
      if (!file->have_info_) return fail("is a damaged FLAC file (no stream information)");
      return fail("cannot be decoded");
    }
    if (file->bits_ != 16 || file->rate_ != kCdRate || file->channels_ != 2)
      return fail("is " + Describe(file->bits_, file->rate_, file->channels_) + " FLAC, " + kCdAudio);
    if (file->total_ == 0) return fail("is a FLAC file that does not state its length");
    file->bytes_ = file->total_ * 4;
    return file;
  }

  bool Read(int64_t offset, uint8_t* out, size_t n) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const int64_t first = offset / 4, end = (offset + int64_t(n)) / 4;
    if (failed_ || first < 0 || end > total_ || end - first > kKeepSamples) return false;
    if (first < window_start_ || end > WindowEnd()) {
      // On from where the decoder stands when that is near; otherwise seek.
      const bool onward = decoder_at_ >= 0 && decoder_at_ == WindowEnd() && first >= window_start_ &&
                          first <= decoder_at_ + kOnwardSamples;
      if (!onward && !Position(first)) return false;
      while (WindowEnd() < end)
        if (!DecodeFrame()) return false;
      if (first < window_start_) return false;
    }
    for (const auto& bad : damaged_)
      if (bad.first < end && bad.second > first) return false;
    std::memcpy(out, window_.data() + (first - window_start_) * 2, n);
    return true;
  }

 private:
  static constexpr int64_t kOnwardSamples = 10 * kCdRate;  // decoding on beats seeking within this
  static constexpr int64_t kKeepSamples = 256 * 588;       // kept behind the decoder for re-reads

  explicit FlacFile(int fd) : fd_(fd) {}
  int64_t WindowEnd() const { return window_start_ + window_frames_; }

  // A decoder on a stream of its own over the file, past the metadata, at
  // the first sample, checking the MD5.
  bool Start() {
    // A duplicate shares the file position with the decoder before: rewind.
    const int own = ::dup(fd_);
    FILE* stream = own >= 0 && ::lseek(own, 0, SEEK_SET) == 0 ? ::fdopen(own, "rb") : nullptr;
    if (!stream) {
      if (own >= 0) ::close(own);
      return false;
    }
    if (!decoder_) decoder_ = FLAC__stream_decoder_new();
    if (!decoder_) {
      std::fclose(stream);
      return false;
    }
    FLAC__stream_decoder_set_md5_checking(decoder_, true);
    if (FLAC__stream_decoder_init_FILE(decoder_, stream, &FlacFile::OnWrite, &FlacFile::OnMetadata,
                                       &FlacFile::OnError, this) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
      std::fclose(stream);
      return false;
    }
    // From here the decoder owns the stream and closes it in finish.
    started_ = true;
    window_frames_ = 0;
    window_start_ = decoder_at_ = 0;
    verifying_ = true;
    landing_ = error_pending_ = false;
    return FLAC__stream_decoder_process_until_end_of_metadata(decoder_) && have_info_;
  }

  // Ends the decoder; the MD5 it computed matches (or was not checked).
  bool Close() {
    bool match = true;
    if (started_) match = FLAC__stream_decoder_finish(decoder_);
    started_ = false;
    if (decoder_) FLAC__stream_decoder_delete(decoder_);
    decoder_ = nullptr;
    return match;
  }

  // Puts the decoder where decoding on reaches first through frames that
  // are decoded (and checked) in order: back to the start when first is
  // near it (which also turns the MD5 check on again), else a seek to two
  // blocks before it whose landing frame is dropped. A decoder that failed
  // or ended is started afresh first.
  bool Position(int64_t first) {
    const int64_t lead = 2 * int64_t(std::max(max_block_, 4608u));
    window_frames_ = 0;
    window_start_ = 0;
    if (first <= lead || !started_ || decoder_at_ < 0) {
      Close();
      if (!Start()) {
        decoder_at_ = -1;
        return false;
      }
      if (first <= lead) return true;
    }
    landing_ = true;
    const bool ok = FLAC__stream_decoder_seek_absolute(decoder_, FLAC__uint64(first - lead));
    verifying_ = false;
    if (!ok) {
      landing_ = false;
      if (FLAC__stream_decoder_get_state(decoder_) == FLAC__STREAM_DECODER_SEEK_ERROR)
        FLAC__stream_decoder_flush(decoder_);
      decoder_at_ = -1;
      return false;
    }
    if (landing_) decoder_at_ = first - lead;  // the landing frame comes with the next decode
    window_start_ = decoder_at_;
    return true;
  }

  // Decodes one more frame onto the window. At the end of the file: the
  // samples never delivered are damaged, and a file decoded whole in order
  // has its MD5 compared (also when its last frame ran past the end).
  bool DecodeFrame() {
    if (decoder_at_ < 0 || !started_) return false;
    error_pending_ = false;
    const bool ok = FLAC__stream_decoder_process_single(decoder_);
    const auto state = FLAC__stream_decoder_get_state(decoder_);
    if (ok && state != FLAC__STREAM_DECODER_END_OF_STREAM && state != FLAC__STREAM_DECODER_ABORTED) {
      if (decoder_at_ >= total_ && verifying_) {
        // finish() compares the MD5 and closes the stream; a later read
        // behind the end starts a decoder afresh.
        verifying_ = false;
        if (!Close()) failed_ = true;
        decoder_at_ = -1;
      }
      return !failed_;
    }
    // The file ends (or the decoder gave up) short of what STREAMINFO says.
    if (decoder_at_ >= 0 && decoder_at_ < total_) damaged_.emplace_back(decoder_at_, total_);
    decoder_at_ = -1;
    return false;
  }

  static FLAC__StreamDecoderWriteStatus OnWrite(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                const FLAC__int32* const buffer[], void* data) {
    auto* self = static_cast<FlacFile*>(data);
    const unsigned n = frame->header.blocksize;
    const int64_t start = frame->header.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER
                              ? int64_t(frame->header.number.sample_number)
                              : int64_t(frame->header.number.frame_number) * n;
    if (self->landing_) {
      // The frame a seek lands in: dropped, with whatever the search for it
      // stumbled over; decoding resumes behind it.
      self->landing_ = false;
      self->error_pending_ = false;
      self->decoder_at_ = start + n;
      self->window_frames_ = 0;
      self->window_start_ = self->decoder_at_;
      return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    if (start < self->decoder_at_) {
      // Numbered before where decoding stands: the file holds these samples
      // twice, and which version is right cannot be told. The version
      // delivered already fails from now on; this one is dropped, and
      // decoding goes on from where it stood.
      self->damaged_.emplace_back(start, start + n);
      return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    // Frames that run past the length STREAMINFO states: the file disagrees
    // with itself about its length, so none of it is to be trusted.
    if (start + n > self->total_) self->failed_ = true;
    if (start != self->WindowEnd()) {
      // The decoder skipped what it could not sync to: that stretch is damaged.
      if (self->decoder_at_ >= 0 && start > self->decoder_at_) self->damaged_.emplace_back(self->decoder_at_, start);
      self->window_frames_ = 0;
      self->window_start_ = start;
    }
    // After an error the decoder writes the damaged frame, and silence for
    // the frames it lost, in the same call: all of it is damage.
    if (self->error_pending_ || frame->header.channels != 2 || frame->header.bits_per_sample != 16)
      self->damaged_.emplace_back(start, start + n);
    // Keep a stretch behind for re-reads; drop the rest now and then.
    if (self->window_frames_ > 4 * kKeepSamples) {
      const int64_t drop = self->window_frames_ - kKeepSamples;
      std::memmove(self->window_.data(), self->window_.data() + drop * 2, size_t(kKeepSamples) * 4);
      self->window_frames_ = kKeepSamples;
      self->window_start_ += drop;
    }
    if (self->window_.size() < size_t(self->window_frames_ + n) * 2) self->window_.resize(size_t(self->window_frames_ + n) * 2);
    int16_t* p = self->window_.data() + self->window_frames_ * 2;
    const FLAC__int32* left = buffer[0];
    const FLAC__int32* right = frame->header.channels > 1 ? buffer[1] : buffer[0];
    for (unsigned i = 0; i < n; ++i) {
      p[2 * i] = int16_t(left[i]);
      p[2 * i + 1] = int16_t(right[i]);
    }
    if constexpr (std::endian::native == std::endian::big) {
      auto* bytes = reinterpret_cast<uint8_t*>(p);
      for (size_t i = 0; i + 1 < size_t(n) * 4; i += 2) std::swap(bytes[i], bytes[i + 1]);
    }
    self->window_frames_ += n;
    self->decoder_at_ = start + n;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }

  static void OnMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* data) {
    auto* self = static_cast<FlacFile*>(data);
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO) return;
    const auto& info = metadata->data.stream_info;
    self->have_info_ = true;
    self->bits_ = info.bits_per_sample;
    self->rate_ = info.sample_rate;
    self->channels_ = info.channels;
    self->total_ = int64_t(info.total_samples);
    self->max_block_ = info.max_blocksize;
  }

  static void OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* data) {
    static_cast<FlacFile*>(data)->error_pending_ = true;
  }

  const int fd_;
  FLAC__StreamDecoder* decoder_ = nullptr;
  bool started_ = false;  // initialised: finish() is owed
  std::mutex mutex_;
  bool have_info_ = false;
  unsigned bits_ = 0, rate_ = 0, channels_ = 0, max_block_ = 0;
  int64_t total_ = 0;
  // Decoded PCM of samples [window_start_, WindowEnd()) as CD audio: 16-bit
  // little-endian, left then right. Grows to its working size once.
  std::vector<int16_t> window_;
  int64_t window_frames_ = 0;
  int64_t window_start_ = 0;
  int64_t decoder_at_ = -1;      // the sample the decoder delivers next; -1 unknown
  bool landing_ = false;         // a seek's landing frame is still to come
  bool error_pending_ = false;  // the decoder reported an error during this frame's decode
  bool verifying_ = true;        // decoded from the first sample in order: the MD5 still counts
  bool failed_ = false;           // an MD5 mismatch, or frames past STREAMINFO's length
  std::vector<std::pair<int64_t, int64_t>> damaged_;  // sample ranges that did not decode
};

}  // namespace

std::unique_ptr<ImageFile> OpenFlac(int fd, const std::string& name, std::string* error) {
  return FlacFile::Open(fd, name, error);
}

}  // namespace tonvik::cdrom::image_io
