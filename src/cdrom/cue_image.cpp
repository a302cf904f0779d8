#include "cdrom/cue_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "cdrom/cue_text.h"

namespace tonvik::cdrom {

CueImage::~CueImage() {
  for (int fd : fds_) ::close(fd);
}

bool CueImage::ReadSector(int32_t lba, uint8_t* out) const { return ReadSectors(lba, 1, out); }

bool CueImage::ReadSectors(int32_t lba, int32_t count, uint8_t* out) const {
  if (lba < 0 || count < 0 || int64_t(lba) + count > lead_out_) return false;
  while (count > 0) {
    // The extent lba is in, read in one go as far as it reaches.
    auto it = std::upper_bound(extents_.begin(), extents_.end(), lba,
                               [](int32_t v, const Extent& e) { return v < e.first_lba; });
    const Extent* e = it == extents_.begin() ? nullptr : &*(it - 1);
    int32_t run;
    if (!e || lba >= e->first_lba + e->count || e->file < 0) {
      const int32_t next = it == extents_.end() ? lead_out_ : it->first_lba;
      run = std::min(count, next - lba);
      std::memset(out, 0, size_t(run) * kSectorBytes);
    } else {
      run = std::min(count, e->first_lba + e->count - lba);
      ImageFile& file = *files_[size_t(e->file)];
      const int64_t offset = (e->file_sector + (lba - e->first_lba)) * int64_t{kSectorBytes};
      const int64_t want = int64_t(run) * kSectorBytes;
      // A short last sector of a file reads as zero-padded.
      const int64_t n = std::clamp<int64_t>(file.bytes() - offset, 0, want);
      if (n < want) std::memset(out + n, 0, size_t(want - n));
      if (n > 0 && !file.Read(offset, out, size_t(n))) return false;
    }
    lba += run;
    count -= run;
    out += int64_t(run) * kSectorBytes;
  }
  return true;
}

class CueParser {
 public:
  CueParser(const std::string& path, CueImage* image)
      : dir_(std::filesystem::path(path).parent_path()), sheet_(std::filesystem::path(path).filename().string()),
        image_(image) {}

  // in: the sheet's lines, as UTF-8.
  bool Parse(std::istream& in, std::string* error) {
    std::string line;
    while (std::getline(in, line)) {
      ++line_number_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
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
    if (disc_end_ > kLastLeadOut) return TooLong(error, false);
    if (postgap_ > 0) {
      image_->extents_.push_back({int32_t(disc_end_), postgap_, -1, 0});
      disc_end_ += postgap_;
    }
    if (disc_end_ > kLastLeadOut) return TooLong(error, false);
    image_->lead_out_ = int32_t(disc_end_);
    return true;
  }

  // A CD ends by 99:59:74; positions past it cannot be addressed.
  static constexpr int64_t kLastLeadOut = (99 * 60 + 59) * 75 + 74 - 150;
  bool TooLong(std::string* error, bool with_line = true) const {
    return Fail(error, "the disc would be longer than a CD can be (99:59:74)", with_line);
  }

  bool Fail(std::string* error, const std::string& what, bool with_line = true) const {
    if (error) *error = sheet_ + (with_line ? " line " + std::to_string(line_number_) + ": " : ": ") + what;
    return false;
  }

 private:
  // One command of the sheet: its words (the keyword first) and where to
  // put the message when the line cannot be used.
  using Command = bool (CueParser::*)(const std::vector<std::string>& w, std::string* error);

  // keyword: the line's first word in capitals.
  bool Line(const std::string& keyword, const std::vector<std::string>& w, std::string* error) {
    static constexpr struct {
      std::string_view keyword;
      Command handle;
    } kCommands[] = {
        {"REM", &CueParser::Rem},          {"FILE", &CueParser::File},
        {"TRACK", &CueParser::Track},      {"FLAGS", &CueParser::Flags},
        {"POSTGAP", &CueParser::Postgap},  {"PREGAP", &CueParser::Pregap},
        {"INDEX", &CueParser::Index},      {"CATALOG", &CueParser::Catalog},
        {"ISRC", &CueParser::Isrc},        {"TITLE", &CueParser::Text},
        {"PERFORMER", &CueParser::Text},   {"SONGWRITER", &CueParser::Text},
    };
    for (const auto& command : kCommands)
      if (keyword == command.keyword) return (this->*command.handle)(w, error);
    // CDTEXTFILE and whatever else a program wrote: nothing that moves a sector.
    return true;
  }

  // CATALOG nnnnnnnnnnnnn: the disc's catalogue number, kept as written (the
  // drive answers what the sheet says; the reader checks it).
  bool Catalog(const std::vector<std::string>& w, std::string*) {
    if (w.size() >= 2) image_->disc_text_.catalog = w[1];
    return true;
  }

  // ISRC cccccnnnnnnn: the current track's; before any track it means nothing.
  bool Isrc(const std::vector<std::string>& w, std::string*) {
    if (w.size() >= 2 && !image_->tracks_.empty()) image_->tracks_.back().isrc = w[1];
    return true;
  }

  // TITLE, PERFORMER, SONGWRITER "text": the disc's before the first TRACK,
  // the track's after it. Words after an unquoted first one are joined, as
  // sheets written by hand have them.
  bool Text(const std::vector<std::string>& w, std::string*) {
    if (w.size() < 2) return true;
    std::string value = w[1];
    for (size_t i = 2; i < w.size(); ++i) value += " " + w[i];
    const std::string keyword = Upper(w[0]);
    const bool disc = image_->tracks_.empty();
    CueDiscText& d = image_->disc_text_;
    std::string* field = nullptr;
    if (keyword == "TITLE") field = disc ? &d.title : &image_->tracks_.back().title;
    else if (keyword == "PERFORMER") field = disc ? &d.performer : &image_->tracks_.back().performer;
    else field = disc ? &d.songwriter : &image_->tracks_.back().songwriter;
    *field = value;
    return true;
  }

  // REM SESSION 01 or 02: the session of the tracks that follow; any other
  // REM is a comment.
  bool Rem(const std::vector<std::string>& w, std::string* error) {
    if (w.size() >= 3 && Upper(w[1]) == "SESSION") {
      int session = 0;
      if (!Number(w[2], &session) || session < 1 || session > 2 || session < session_)
        return Fail(error, "REM SESSION must be 01 or 02, in order");
      // A second session needs a first one with tracks in it.
      if (session == 2 && image_->tracks_.empty())
        return Fail(error, "REM SESSION 02 comes before any track of the first session");
      session_ = session;
    }
    return true;
  }

  // FILE "name" type: the file the tracks and indexes after it lie in.
  bool File(const std::vector<std::string>& w, std::string* error) {
    if (w.size() != 3) return Fail(error, "FILE needs a name and a type");
    const std::string type_name = Upper(w[2]);
    ImageFile::Type type;
    if (type_name == "BINARY") type = ImageFile::Binary;
    else if (type_name == "MOTOROLA") type = ImageFile::Motorola;
    else if (type_name == "WAVE") type = ImageFile::Wave;
    else return Fail(error, "files of type " + w[2] + " cannot be read (only BINARY, MOTOROLA and WAVE)");
    // A track without its INDEX 01 yet finds it in this file (its INDEX 00
    // in the file before: gaps appended to the previous track).
    if (fd_ >= 0) FinishFile();
    if (disc_end_ > kLastLeadOut) return TooLong(error);
    const std::filesystem::path file = FindSheetFile(dir_, w[1]);
    if (file.empty()) return Fail(error, "\"" + w[1] + "\" not found");
    fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return Fail(error, "\"" + w[1] + "\" cannot be opened: " + std::strerror(errno));
    image_->fds_.push_back(fd_);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      const int err = errno;
      return Fail(error, "cannot read the size of " + file.string() + ": " + std::strerror(err));
    }
    if (!S_ISREG(st.st_mode)) return Fail(error, "\"" + w[1] + "\" is not a file");
    file_sectors_ = (int64_t(st.st_size) + kSectorBytes - 1) / kSectorBytes;
    if (!OpenAudio(type, w[1], int64_t(st.st_size), error)) return false;
    file_base_ = disc_end_;
    segment_start_ = 0;
    last_offset_ = 0;
    return true;
  }

  // TRACK nn mode: a track, numbered on from the one before.
  bool Track(const std::vector<std::string>& w, std::string* error) {
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

  // FLAGS: the track's CONTROL bits; flags it does not know are passed over.
  bool Flags(const std::vector<std::string>& w, std::string* error) {
    if (image_->tracks_.empty()) return Fail(error, "FLAGS before TRACK");
    uint8_t flags = 0;
    for (size_t i = 1; i < w.size(); ++i) {
      const std::string flag = Upper(w[i]);
      if (flag == "PRE") flags |= kControlPreEmphasis;
      else if (flag == "DCP") flags |= kControlCopyPermitted;
      else if (flag == "4CH") flags |= kControlFourChannel;
    }
    image_->tracks_.back().flags = flags;
    return true;
  }

  // POSTGAP mm:ss:ff: silence after the track's last sector.
  bool Postgap(const std::vector<std::string>& w, std::string* error) {
    if (image_->tracks_.empty() || image_->tracks_.back().start_lba < 0)
      return Fail(error, "POSTGAP must come after the track's INDEX 01");
    int32_t postgap = 0;
    if (w.size() != 2 || !Time(w[1], &postgap)) return Fail(error, "POSTGAP needs a time mm:ss:ff");
    postgap_ = postgap;
    return true;
  }

  // PREGAP mm:ss:ff: silence before the track's first index.
  bool Pregap(const std::vector<std::string>& w, std::string* error) {
    if (image_->tracks_.empty() || indexed_) return Fail(error, "PREGAP must come between TRACK and INDEX");
    if (w.size() != 2 || !Time(w[1], &pregap_)) return Fail(error, "PREGAP needs a time mm:ss:ff");
    return true;
  }

  // INDEX nn mm:ss:ff: where in the current file the track's index lies.
  bool Index(const std::vector<std::string>& w, std::string* error) {
    if (image_->tracks_.empty()) return Fail(error, "INDEX before TRACK");
    int index = 0;
    int32_t offset = 0;
    if (w.size() != 3 || !Number(w[1], &index) || index > 99 || !Time(w[2], &offset))
      return Fail(error, "INDEX needs a number and a time mm:ss:ff");
    if (offset < last_offset_) return Fail(error, "INDEX times must not go back");
    if (offset >= file_sectors_)
      return Fail(error, "INDEX " + w[1] + " " + w[2] + " lies beyond the end of \"" + file_name_ + "\" (" +
                             Msf(int32_t(std::min<int64_t>(file_sectors_, INT32_MAX))) + " long)");
    CueTrack& track = image_->tracks_.back();
    if (index == 0 && (indexed_ || track.index0_lba >= 0)) return Fail(error, "INDEX 00 must be the track's first index");
    if (index == 1 && track.start_lba >= 0) return Fail(error, "INDEX 01 given twice");
    if (index > 1 && track.start_lba < 0) return Fail(error, "INDEX 01 missing before a later index");
    const bool first_index = !indexed_;
    if (!indexed_) InsertGap(offset);
    indexed_ = true;
    last_offset_ = offset;
    if (file_base_ + offset > kLastLeadOut) return TooLong(error);
    const int32_t lba = int32_t(file_base_ + offset);
    if (first_index) {
      // The track's own silence before its first index is its pregap too.
      const int32_t own = new_session_ ? (pregap_ < 0 ? 150 : pregap_) : std::max<int32_t>(pregap_, 0);
      if (own > 0) track.pregap_lba = lba - own;
      else if (index == 0) track.pregap_lba = lba;
    }
    if (index > 1) track.later_indexes.push_back(lba);
    // Two tracks at one address would make a track of no sectors.
    const auto& tracks = image_->tracks_;
    if (index == 1 && tracks.size() >= 2 && lba <= tracks[tracks.size() - 2].start_lba)
      return Fail(error, "track " + std::to_string(track.number) + " starts where track " +
                             std::to_string(tracks[tracks.size() - 2].number) + " starts");
    if (index == 0) track.index0_lba = lba;
    if (index == 1) track.start_lba = lba;
    return true;
  }

  // The open file (size bytes) as the sheet's type says; its sectors are
  // those of the audio it holds, which for WAV and FLAC is not its size.
  bool OpenAudio(ImageFile::Type type, const std::string& name, int64_t size, std::string* error) {
    std::string why;
    auto opened = ImageFile::Open(fd_, size, type, name, &why);
    if (!opened) return Fail(error, why);
    file_name_ = name;
    file_sectors_ = (opened->bytes() + kSectorBytes - 1) / kSectorBytes;
    image_->files_.push_back(std::move(opened));
    file_index_ = int(image_->files_.size()) - 1;
    return true;
  }

  // The silence before a track's first index: the POSTGAP of the track
  // before, its own PREGAP, and at the start of a second session the
  // lead-out and lead-in of the session before.
  void InsertGap(int32_t offset) {
    int64_t gap = pregap_ < 0 ? 0 : pregap_;
    if (new_session_) gap = kSessionLeadOut + kSessionLeadIn + (pregap_ < 0 ? 150 : pregap_);
    gap += postgap_;
    postgap_ = 0;
    if (gap == 0) return;
    AddFileExtent(offset);
    image_->extents_.push_back({int32_t(file_base_ + offset), int32_t(gap), -1, 0});
    file_base_ += gap;
    segment_start_ = offset;
  }
  void AddFileExtent(int64_t end) {
    if (end > segment_start_)
      image_->extents_.push_back(
          {int32_t(file_base_ + segment_start_), int32_t(end - segment_start_), file_index_, segment_start_});
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

  static std::string Msf(int32_t frames) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / 4500, frames / 75 % 60, frames % 75);
    return text;
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
  std::string sheet_;  // the sheet's file name, for messages
  CueImage* image_;
  int line_number_ = 0;
  int session_ = 1;
  bool new_session_ = false;
  bool indexed_ = false;
  int32_t pregap_ = -1;
  int32_t postgap_ = 0;  // of the last track, still to be placed
  int fd_ = -1;
  int file_index_ = -1;
  std::string file_name_;  // as the sheet wrote it
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
  // A sheet is a few kilobytes; anything near this is something else.
  constexpr size_t kLargestSheet = 1 << 20;
  std::string bytes(kLargestSheet + 1, '\0');
  in.read(bytes.data(), std::streamsize(bytes.size()));
  bytes.resize(size_t(in.gcount()));
  std::string text;
  if (bytes.size() > kLargestSheet || !DecodeSheetText(bytes, &text)) {
    if (error) *error = std::filesystem::path(cue_path).filename().string() + ": not a text file";
    return nullptr;
  }
  std::unique_ptr<CueImage> image(new CueImage);
  image->path_ = cue_path;
  CueParser parser(cue_path, image.get());
  std::istringstream lines(text);
  if (!parser.Parse(lines, error)) return nullptr;
  return image;
}

}  // namespace tonvik::cdrom
