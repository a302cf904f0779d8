// What a failed, cancelled or declined track leaves on disk.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include "core/app_exception.h"
#include "encoders/tag_data.h"
#include "test_env.h"
#include "support/file_size_limit.h"

namespace tonvik {
namespace {

const std::string kOld = "the user's old file";

struct Format {
  int number;
  const char* extension;
  // What a write that the disk refuses gives: Monkey's Audio's compressor
  // takes the data and writes as it goes, and any refusal of its add-data
  // call is a data processing error.
  const char* refused_write;
};
const Format kFormats[] = {{1, ".wav", "write error"},  {2, ".mp3", "write error"},
                           {3, ".wma", "write error"},  {4, ".ogg", "write error"},
                           {5, ".ape", "data processing error"}, {6, ".flac", "write error"}};

class FailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    disc.titles = {"One"};
    sandbox.SetUserDword(u"AlwaysOverwrite", 1);
  }
  std::string Old(const std::string& name) {
    const std::string path = sandbox.Out(name);
    std::ofstream(path) << kOld;
    return path;
  }
  std::string Contents(const std::string& path) {
    const auto b = test::ReadFile(path);
    return std::string(b.begin(), b.end());
  }
  test::Sandbox sandbox;
  DiscMetadata disc;         // the record the tags are made from
  EncoderSelection format;   // the choice of the encoders the test creates
  std::vector<uint8_t> pcm = test::MakePcm(44100 * 12);
};

using tonvik::testing::FileSizeLimit;

TEST_F(FailureTest, CancelledOverwriteKeepsTheOldFile) {
  for (const auto& f : kFormats) {
    SCOPED_TRACE(f.extension);
    const std::string path = Old(std::string("t") + f.extension);
    format = EncoderSelection{f.number, 1, 0};
    {
      auto e = CreateEncoder(test::Target(path, format), test::Tags(disc, 0));
      test::Feed(*e, std::vector<uint8_t>(pcm.begin(), pcm.begin() + 61152 * 20));
      // Destroyed without Finish: the cancel.
    }
    EXPECT_EQ(Contents(path), kOld);
    EXPECT_EQ(test::Listing(sandbox.Out("")), std::vector<std::string>{std::string("t") + f.extension});
    test::fs::remove(path);
  }
}

TEST_F(FailureTest, FullDiskGivesWriteErrorAndLeavesNoBrokenFile) {
  for (bool had_old : {true, false}) {
    for (const auto& f : kFormats) {
      SCOPED_TRACE(std::string(f.extension) + (had_old ? " over old" : " new"));
      const std::string name = std::string("t") + f.extension;
      const std::string path = had_old ? Old(name) : sandbox.Out(name);
      format = EncoderSelection{f.number, 1, 0};
      std::string message;
      {
        FileSizeLimit limit(48 * 1024);
        try {
          auto e = CreateEncoder(test::Target(path, format), test::Tags(disc, 0));
          test::Feed(*e, pcm);
          e->Finish();
        } catch (const EncoderException& e) {
          message = e.what();
        }
      }
      EXPECT_EQ(message, f.refused_write);
      if (had_old) {
        EXPECT_EQ(Contents(path), kOld);
        EXPECT_EQ(test::Listing(sandbox.Out("")), std::vector<std::string>{name});
        test::fs::remove(path);
      } else {
        EXPECT_TRUE(test::Listing(sandbox.Out("")).empty());
      }
    }
  }
}

TEST_F(FailureTest, ReadOnlyFileReplacedUnderAlwaysOverwrite) {
  const std::string path = Old("t.flac");
  test::fs::permissions(path, test::fs::perms::owner_read);
  test::EncodeTo(6, 1, 0, path, pcm, test::Tags(disc, 0));
  EXPECT_EQ(test::Shell("metaflac --show-tag=TITLE '" + path + "'"), "TITLE=One\n");
  EXPECT_EQ(test::Listing(sandbox.Out("")), std::vector<std::string>{"t.flac"});
}

class No : public OverwritePrompt {
 public:
  Answer AskOverwrite(const std::u16string&) override { return {false, false}; }
};

TEST_F(FailureTest, DeclinedOverwriteSkipsAndCreationFailureIsReported) {
  sandbox.SetUserDword(u"AlwaysOverwrite", 0);
  No no;
  OverwritePolicy policy(&no);
  const std::string path = Old("t.ogg");
  format = EncoderSelection{4, 1, 0};
  try {
    CreateEncoder(test::Target(path, format, false, &policy), test::Tags(disc, 0));
    ADD_FAILURE() << "not skipped";
  } catch (const SkipFileException& e) {
    EXPECT_STREQ(e.what(), "file skipped");
  }
  EXPECT_EQ(Contents(path), kOld);
  // A folder that cannot be made (a file stands in its way).
  try {
    CreateEncoder(test::Target(path + "/sub/x.ogg", format), test::Tags(disc, 0));
    ADD_FAILURE() << "created";
  } catch (const EncoderException& e) {
    EXPECT_STREQ(e.what(), "cannot create file (Not a directory)");
  }
  EXPECT_EQ(test::Listing(sandbox.Out("")), std::vector<std::string>{"t.ogg"});
}

TEST_F(FailureTest, FailedRenameIsAWriteError) {
  // A folder where the file should go cannot be replaced by it.
  test::fs::create_directories(sandbox.Out("t.wav/inside"));
  format = EncoderSelection{1, 1, 0};
  auto e = CreateEncoder(test::Target(sandbox.Out("t.wav"), format), nullptr);
  test::Feed(*e, pcm);
  try {
    e->Finish();
    ADD_FAILURE() << "finished";
  } catch (const EncoderException& ex) {
    EXPECT_STREQ(ex.what(), "write error");
  }
  e.reset();
  EXPECT_EQ(test::Listing(sandbox.Out("")), std::vector<std::string>{"t.wav"});
  EXPECT_TRUE(test::fs::is_directory(sandbox.Out("t.wav/inside")));
}

TEST_F(FailureTest, MissingFoldersAreCreatedAndLongNamesFitted) {
  const std::string name(300, 'n');
  const std::string path = sandbox.Out("Artist/Album/" + name + ".wav");
  test::EncodeTo(1, 1, 0, path, pcm, nullptr);
  const auto files = test::Listing(sandbox.Out("Artist/Album"));
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0], std::string(251, 'n') + ".wav");
}

}  // namespace
}  // namespace tonvik
