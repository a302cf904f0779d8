// Monkey's Audio over our codec library: the compressor writes through MyIO,
// the library's file interface over the encoder's output file, and the APE
// tag is appended through it when the compressor has finished.
#pragma once
#include <memory>

#include "encoders/encoder.h"
#include "encoders/target_file.h"
#include "monkey/ape_compress.h"
#include "monkey/io.h"

namespace tonvik {

class CAPEEncoder : public CEncoder {
 public:
  // The library's file interface over the output file: a new hidden file
  // beside the target, renamed over it only when the track is complete.
  class MyIO : public monkey::CIO {
   public:
    explicit MyIO(const EncoderTarget& target) : file_(target.path, target.overwrite) {}
    int Open(const char*) override { return 0; }
    int Close() override { return 0; }
    int Read(void* buffer, unsigned bytes, unsigned* bytes_read) override;
    int Write(const void* buffer, unsigned bytes, unsigned* bytes_written) override;
    int Seek(int64_t distance, monkey::SeekMethod method) override;
    int Create(const char*) override { return 0; }
    int Delete() override { return 0; }
    int SetEOF() override { return 0; }
    int64_t GetPosition() override { return static_cast<int64_t>(file_.Tell()); }
    int64_t GetSize() override { return file_.Size(); }
    int GetName(char*) override { return 0; }

    TargetFile& file() { return file_; }

   private:
    TargetFile file_;
  };

  explicit CAPEEncoder(const EncoderTarget& target);
  ~CAPEEncoder() override;
  void Write(const void* data, uint32_t bytes, uint32_t* taken = nullptr) override;
  // Completes the file and its tag and puts it in place. Throws "write
  // error" when any of it fails, "no audio to encode" for a track without a
  // single sample (the format cannot hold one).
  void Finish() override;

 private:
  void Start();

  std::unique_ptr<MyIO> io_;
  const EncoderSelection selection_;
  std::unique_ptr<monkey::CAPECompress> compressor_;
  bool not_started_ = true;
};

}  // namespace tonvik
