// The file interface the Monkey's Audio encoder and tag writer work through,
// and the result codes of the whole library.
#pragma once
#include <cstdint>

namespace tonvik::monkey {

// Results: 0 is success, everything else an error.
inline constexpr int ERROR_SUCCESS = 0;
inline constexpr int ERROR_IO_READ = 1000;
inline constexpr int ERROR_IO_WRITE = 1001;
inline constexpr int ERROR_INVALID_INPUT_FILE = 1002;  // not a PCM record we understand
inline constexpr int ERROR_INPUT_FILE_TOO_LARGE = 1004;
inline constexpr int ERROR_INPUT_FILE_UNSUPPORTED_BIT_DEPTH = 1005;
inline constexpr int ERROR_INPUT_FILE_UNSUPPORTED_CHANNEL_COUNT = 1007;
inline constexpr int ERROR_NO_AUDIO = 1008;  // Finish without a single block: no file possible
inline constexpr int ERROR_INSUFFICIENT_MEMORY = 2000;
inline constexpr int ERROR_BAD_PARAMETER = 5000;
inline constexpr int ERROR_APE_COMPRESS_TOO_MUCH_DATA = 6000;

enum SeekMethod : unsigned { FILE_BEGIN = 0, FILE_CURRENT = 1, FILE_END = 2 };

// GetName writes a NUL-terminated UTF-8 name into a buffer of this many bytes.
inline constexpr unsigned MAX_IO_NAME_BYTES = 4096;

// An open file. Read and Write report the bytes moved; a short count is not
// an error by itself, the callers treat it as one where they need every byte.
class CIO {
 public:
  virtual ~CIO() = default;
  virtual int Open(const char* name) = 0;
  virtual int Close() = 0;
  virtual int Read(void* buffer, unsigned bytes, unsigned* bytes_read) = 0;
  virtual int Write(const void* buffer, unsigned bytes, unsigned* bytes_written) = 0;
  virtual int Seek(int64_t distance, SeekMethod method) = 0;
  virtual int Create(const char* name) = 0;
  virtual int Delete() = 0;
  virtual int SetEOF() = 0;  // the file ends at the current position
  virtual int64_t GetPosition() = 0;
  virtual int64_t GetSize() = 0;
  virtual int GetName(char* buffer) = 0;
};

// A CIO over a POSIX file descriptor.
class FileIO : public CIO {
 public:
  FileIO() = default;
  ~FileIO() override;
  FileIO(const FileIO&) = delete;
  FileIO& operator=(const FileIO&) = delete;

  int Open(const char* name) override;  // read-write where allowed, else read-only
  int Close() override;
  int Read(void* buffer, unsigned bytes, unsigned* bytes_read) override;
  int Write(const void* buffer, unsigned bytes, unsigned* bytes_written) override;
  int Seek(int64_t distance, SeekMethod method) override;
  int Create(const char* name) override;  // created empty, or truncated
  int Delete() override;                  // closes and unlinks
  int SetEOF() override;
  int64_t GetPosition() override;
  int64_t GetSize() override;
  int GetName(char* buffer) override;

 private:
  int fd_ = -1;
  char name_[MAX_IO_NAME_BYTES] = {};
};

}  // namespace tonvik::monkey
