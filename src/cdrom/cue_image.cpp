#include "cdrom/cue_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tonvik::cdrom {

CueImage::~CueImage() {
  for (int fd : fds_) ::close(fd);
}

bool CueImage::ReadSector(int32_t lba, uint8_t* out) const {
  if (lba < 0 || lba >= lead_out_) return false;
  auto it = std::upper_bound(extents_.begin(), extents_.end(), lba,
                             [](int32_t v, const Extent& e) { return v < e.first_lba; });
  std::memset(out, 0, kSectorBytes);
  if (it == extents_.begin()) return true;
  const Extent& e = *(it - 1);
  if (lba >= e.first_lba + e.count || e.fd < 0) return true;
  const off_t offset = (e.file_sector + (lba - e.first_lba)) * off_t{kSectorBytes};
  size_t done = 0;
  while (done < kSectorBytes) {
    const ssize_t n = ::pread(e.fd, out + done, kSectorBytes - done, offset + off_t(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;  // a short last sector of a file reads as zero-padded
    done += size_t(n);
  }
  return true;
}

class CueParser {
 public:
  CueParser(const std::string& path, CueImage* image) : dir_(std::filesystem::path(path).parent_path()), image_(image) {}

  bool Parse(std::istream& in, std::string* error) {
    std::string line;
    while (std::getline(in, line)) {
      ++line_number_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line_number_ == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
      std::vector<std::string> words;
      if (!Split(line, &words)) return Fail(error, "unbalanced quotes");
      if (words.empty()) continue;
      std::string keyword = words[0];
      for (char& c : keyword) c = char(std::toupper(static_cast<unsigned char>(c)));
      if (!Line(keyword, words, error)) return false;
    }
    if (fd_ >= 0) FinishFile();
    if (image_->tracks_.empty()) return Fail(error, "the sheet has no tracks", false);
    if (!CheckIndex1(error)) return false;
    image_->lead_out_ = disc_end_;
    return true;
  }

 private:
  bool Line(const std::string& keyword, const std::vector<std::string>& w, std::string* error) {
    if (keyword == "REM") {
      if (w.size() >= 3 && Upper(w[1]) == "SESSION") {
        int session = 0;
        if (!Number(w[2], &session) || session < 1 || session > 2 || session < session_)
          return Fail(error, "REM SESSION must be 01 or 02, in order");
        session_ = session;
      }
      return true;
    }
    if (keyword == "FILE") {
      if (w.size() != 3) return Fail(error, "FILE needs a name and a type");
      if (Upper(w[2]) != "BINARY") return Fail(error, "only BINARY files are supported");
      if (!CheckIndex1(error)) return false;
      if (fd_ >= 0) FinishFile();
      std::filesystem::path file = w[1];
      if (file.is_relative()) file = dir_ / file;
      fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd_ < 0) return Fail(error, "cannot open " + file.string() + ": " + std::strerror(errno));
      image_->fds_.push_back(fd_);
      struct stat st {};
      if (::fstat(fd_, &st) != 0) {
        const int err = errno;
        return Fail(error, "cannot read the size of " + file.string() + ": " + std::strerror(err));
      }
      file_sectors_ = (int64_t(st.st_size) + kSectorBytes - 1) / kSectorBytes;
      file_base_ = disc_end_;
      segment_start_ = 0;
      last_offset_ = 0;
      return true;
    }
    if (keyword == "TRACK") {
      if (fd_ < 0) return Fail(error, "TRACK before FILE");
      if (w.size() != 3) return Fail(error, "TRACK needs a number and a mode");
      if (!CheckIndex1(error)) return false;
      CueTrack track;
      if (!Number(w[1], &track.number) || track.number < 1 || track.number > 99)
        return Fail(error, "track number must be 1 to 99");
      const auto& tracks = image_->tracks_;
      if (!tracks.empty() && track.number != tracks.back().number + 1)
        return Fail(error, "track numbers must follow each other");
      const std::string mode = Upper(w[2]);
      if (mode == "AUDIO") track.mode = CueTrack::Audio;
      else if (mode == "MODE1/2352") track.mode = CueTrack::Mode1;
      else if (mode == "MODE2/2352") track.mode = CueTrack::Mode2;
      else return Fail(error, "unsupported track mode " + w[2]);
      track.session = session_;
      track.start_lba = -1;
      new_session_ = !tracks.empty() && session_ != tracks.back().session;
      image_->tracks_.push_back(track);
      pregap_ = -1;
      indexed_ = false;
      return true;
    }
    if (keyword == "PREGAP") {
      if (image_->tracks_.empty() || indexed_) return Fail(error, "PREGAP must come between TRACK and INDEX");
      if (w.size() != 2 || !Time(w[1], &pregap_)) return Fail(error, "PREGAP needs a time mm:ss:ff");
      return true;
    }
    if (keyword == "INDEX") {
      if (image_->tracks_.empty()) return Fail(error, "INDEX before TRACK");
      int index = 0;
      int32_t offset = 0;
      if (w.size() != 3 || !Number(w[1], &index) || index > 99 || !Time(w[2], &offset))
        return Fail(error, "INDEX needs a number and a time mm:ss:ff");
      if (offset < last_offset_) return Fail(error, "INDEX times must not go back");
      if (offset >= file_sectors_) return Fail(error, "INDEX lies beyond the end of its file");
      CueTrack& track = image_->tracks_.back();
      if (index == 0 && (indexed_ || track.index0_lba >= 0)) return Fail(error, "INDEX 00 must be the track's first index");
      if (index == 1 && track.start_lba >= 0) return Fail(error, "INDEX 01 given twice");
      if (index > 1 && track.start_lba < 0) return Fail(error, "INDEX 01 missing before a later index");
      if (!indexed_) InsertGap(offset);
      indexed_ = true;
      last_offset_ = offset;
      const int32_t lba = int32_t(file_base_ + offset);
      if (index == 0) track.index0_lba = lba;
      if (index == 1) track.start_lba = lba;
      return true;
    }
    if (keyword == "POSTGAP") return Fail(error, "POSTGAP is not supported");
    if (keyword == "CATALOG" || keyword == "PERFORMER" || keyword == "TITLE" ||
        keyword == "SONGWRITER" || keyword == "ISRC" || keyword == "FLAGS" || keyword == "CDTEXTFILE")
      return true;
    return Fail(error, "unknown command " + keyword);
  }

  // The silence before a track's first index: its PREGAP, and at the start
  // of a second session the lead-out and lead-in of the session before.
  void InsertGap(int32_t offset) {
    int64_t gap = pregap_ < 0 ? 0 : pregap_;
    if (new_session_) gap = kSessionLeadOut + kSessionLeadIn + (pregap_ < 0 ? 150 : pregap_);
    if (gap == 0) return;
    AddFileExtent(offset);
    image_->extents_.push_back({int32_t(file_base_ + offset), int32_t(gap), -1, 0});
    file_base_ += gap;
    segment_start_ = offset;
  }
  void AddFileExtent(int64_t end) {
    if (end > segment_start_)
      image_->extents_.push_back({int32_t(file_base_ + segment_start_), int32_t(end - segment_start_), fd_, segment_start_});
  }
  void FinishFile() {
    AddFileExtent(file_sectors_);
    disc_end_ = file_base_ + file_sectors_;
  }
  bool CheckIndex1(std::string* error) {
    if (!image_->tracks_.empty() && image_->tracks_.back().start_lba < 0)
      return Fail(error, "track " + std::to_string(image_->tracks_.back().number) + " has no INDEX 01", false);
    return true;
  }

  bool Fail(std::string* error, const std::string& what, bool with_line = true) const {
    if (error) *error = with_line ? "line " + std::to_string(line_number_) + ": " + what : what;
    return false;
  }
  static std::string Upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
  }
  static bool Number(const std::string& s, int* out) {
    if (s.empty() || s.size() > 4) return false;
    int v = 0;
    for (char c : s) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + (c - '0');
    }
    *out = v;
    return true;
  }
  static bool Time(const std::string& s, int32_t* frames) {
    int m = 0, sec = 0, f = 0;
    const size_t a = s.find(':'), b = s.find(':', a == std::string::npos ? a : a + 1);
    if (a == std::string::npos || b == std::string::npos) return false;
    if (!Number(s.substr(0, a), &m) || !Number(s.substr(a + 1, b - a - 1), &sec) || !Number(s.substr(b + 1), &f))
      return false;
    if (sec > 59 || f > 74) return false;
    *frames = (m * 60 + sec) * 75 + f;
    return true;
  }
  static bool Split(const std::string& line, std::vector<std::string>* words) {
    size_t i = 0;
    while (i < line.size()) {
      if (std::isspace(static_cast<unsigned char>(line[i]))) { ++i; continue; }
      if (line[i] == '"') {
        const size_t end = line.find('"', i + 1);
        if (end == std::string::npos) return false;
        words->push_back(line.substr(i + 1, end - i - 1));
        i = end + 1;
      } else {
        size_t end = i;
        while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
        words->push_back(line.substr(i, end - i));
        i = end;
      }
    }
    return true;
  }

  std::filesystem::path dir_;
  CueImage* image_;
  int line_number_ = 0;
  int session_ = 1;
  bool new_session_ = false;
  bool indexed_ = false;
  int32_t pregap_ = -1;
  int fd_ = -1;
  int64_t file_sectors_ = 0;
  int64_t file_base_ = 0;     // disc LBA of the current file's sector 0, gaps included
  int64_t segment_start_ = 0; // file sector where the current extent begins
  int32_t last_offset_ = 0;
  int64_t disc_end_ = 0;
};

std::unique_ptr<CueImage> CueImage::Load(const std::string& cue_path, std::string* error) {
  std::ifstream in(cue_path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + cue_path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<CueImage> image(new CueImage);
  image->path_ = cue_path;
  CueParser parser(cue_path, image.get());
  if (!parser.Parse(in, error)) return nullptr;
  return image;
}

}  // namespace tonvik::cdrom
