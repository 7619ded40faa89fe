#include "files/ConfigFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/DeviceCatalogue.h"
#include "support/ScriptedPrompts.h"

namespace fs = std::filesystem;

namespace {

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "cfgtest.XXXXXX").string();
    path_ = mkdtemp(tmpl.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string operator/(const std::string& name) const { return (fs::path(path_) / name).string(); }

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A file as the program writes it, with the fields given; the tail is 34 bytes of 0x11.
std::string CfgText(const std::string& image, const std::string& port = "Com1",
                    const std::string& device = "K7E1/E3", const std::string& serial = "1 0 2 0A0B 1 0 0 ",
                    const std::string& magic = "qel") {
  return magic + image + '\x0F' + port + ' ' + device + " a b c d e f F800 0 0B0A " + serial +
         std::string(kCfgTailBytes, '\x11');
}

struct Recorder {
  int port = -1;
  std::string device;
  int checksums = 0, refreshes = 0, recreated = 0;
  std::vector<std::string> images;
  bool imageResult = true;
  CfgLoadHooks Hooks() {
    return {[this](int i) { port = i; }, [this](const std::string& d) { device = d; },
            [this] { ++checksums; }, [this] { ++refreshes; },
            [this](const std::string& p) {
              images.push_back(p);
              return imageResult;
            },
            [this] { ++recreated; }};
  }
};

class ConfigFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  MainState state;
  ScriptedPrompts prompts;
  Recorder rec;
  std::string image = dir / "my prog.bin";

  void SetUp() override {
    WriteBytes(image, "");
    state.CfgPath = dir / "set.cfg";
  }
  bool Load(const std::string& bytes, bool full = true) {
    return LoadCfg(state, bytes, full, prompts, rec.Hooks());
  }
  std::string DataError() const { return "'" + state.CfgPath + "' file data error!"; }
};

TEST_F(ConfigFileTest, RoundTripKeepsEveryField) {
  state.CurrentFileName = image;  // a name with a space
  state.Panel.option[kOsc].value = "RC, PB4";
  state.Panel.option[kPrd].value = "MCLR HI";
  state.Panel.Label11 = "1A2B";
  state.Panel.Label13 = "41";
  state.SerialMode = 1;
  state.SerialAddress = 0x3F0;
  state.SerialLength = 3;
  state.SerialValue = {0x12, 0x34, 0x56, 0, 0, 0, 0, 0};
  state.SerialStep = 255;
  state.SerialRandom = 1;
  state.SerialLsbFirst = 1;
  state.OptionLow = 0x20;   // a space and the name end byte in the binary tail
  state.OptionHigh = 0x0F;
  for (int i = 0; i < kIdBytes; ++i) state.IdBuffer[i] = static_cast<std::uint8_t>(i * 9);
  ASSERT_TRUE(SaveCfg(state, {"Com3", "K7E2/E4"}, prompts));

  const std::string bytes = ReadBytes(state.CfgPath);
  EXPECT_EQ(bytes.substr(0, 3), "qel");
  EXPECT_NE(bytes.find("Com3 K7E2/E4 RC,_PB4 "), std::string::npos);
  EXPECT_NE(bytes.find(" 1A2B 0 "), std::string::npos);
  EXPECT_NE(bytes.find(" 1 1008 3 563412 255 1 1 "), std::string::npos);
  EXPECT_EQ(bytes.size() - bytes.rfind(" 255 1 1 ") - 9, kCfgTailBytes);

  MainState saved = state;
  state = MainState();
  state.CfgPath = saved.CfgPath;
  ASSERT_TRUE(Load(bytes)) << prompts.LastText();
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(state.CurrentFileName, image);
  EXPECT_EQ(rec.port, 2);
  EXPECT_EQ(rec.device, "K7E2/E4");
  EXPECT_EQ(state.DeviceName, "K7E2/E4");
  EXPECT_EQ(state.DeviceIndex, 1);
  EXPECT_EQ(state.SerialMode, 1);
  EXPECT_EQ(state.SerialAddress, 0x3F0);
  EXPECT_EQ(state.SerialLength, 3);
  EXPECT_EQ(state.SerialValue, saved.SerialValue);
  EXPECT_EQ(state.Panel.Label15, "563412");
  EXPECT_EQ(state.Panel.Label13, "0");  // the pass count never travels
  EXPECT_EQ(state.SerialStep, 255);
  EXPECT_EQ(state.SerialRandom, 1);
  EXPECT_EQ(state.SerialLsbFirst, 1);
  EXPECT_EQ(state.OptionLow, 0x20);
  EXPECT_EQ(state.OptionHigh, 0x0F);
  EXPECT_EQ(state.IdBuffer, saved.IdBuffer);
  EXPECT_EQ(rec.images, std::vector<std::string>{image});
  EXPECT_EQ(rec.checksums, 2);
  EXPECT_EQ(rec.refreshes, 1);
  EXPECT_EQ(rec.recreated, 0);  // the window has not been shown yet
}

TEST_F(ConfigFileTest, AfterFirstShowTheViewsAreRebuilt) {
  state.Shown = true;
  ASSERT_TRUE(Load(CfgText(image)));
  EXPECT_EQ(state.RefreshPending, 1);
  EXPECT_EQ(rec.recreated, 1);
  EXPECT_EQ(state.SerialValue[0], 0x0B);
  EXPECT_EQ(state.SerialValue[1], 0x0A);
}

TEST_F(ConfigFileTest, MalformedFilesAreDataErrors) {
  const std::vector<std::string> bad = {
      CfgText(image, "Com1", "K7E1/E3", "1 0 2 0A0B 1 0 0 ", "QEL"),  // magic is case-sensitive
      "qe",
      CfgText(image).substr(0, CfgText(image).size() - 1),  // tail cut short
      CfgText(image, "ComX"),
      CfgText(image, "Com9"),
      CfgText(image, "Co"),
      CfgText(image, "Com1", "K7E1/E3", "1 12a 2 0A0B 1 0 0 "),      // address not a number
      CfgText(image, "Com1", "K7E1/E3", "1 0 2 0A0B  0 0 "),         // empty step
      CfgText(image, "Com1", "K7E1/E3", "1 0 2 0A0B 1 0 99999999999 "),
      CfgText(image, "Com1", "K7E1/E3", "1 0 9 000000000000000000 1 0 0 "),  // more bytes than held
      CfgText(image, "Com1", "K7E1/E3", "1 0 -1  1 0 0 "),
      CfgText(image, "Com1", "K7E1/E3", "1 0 2 0A 1 0 0 "),          // value shorter than the count
      CfgText(image, "Com1", "K7E1/E3", "1 0 2 0G0B 1 0 0 "),
      // Serial-number mode on with settings that stamp one number into every part.
      CfgText(image, "Com1", "K7E1/E3", "1 0 2 0A0B 0 0 0 "),
      CfgText(image, "Com1", "K7E1/E3", "1 0 2 0A0B -3 0 0 "),
      CfgText(image, "Com1", "K7E1/E3", "1 0 2 0A0B 256 0 0 "),
      CfgText(image, "Com1", "K7E1/E3", "1 0 2 FFFF 1 1 0 "),
      CfgText(image, "Com1", "K7E1/E3", "1 0 0  1 0 0 "),
      std::string("qel") + std::string(600, 'x'),  // name never ends
  };
  for (const std::string& bytes : bad) {
    prompts.messages.clear();
    EXPECT_FALSE(Load(bytes)) << bytes;
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{DataError()}) << bytes;
  }
  EXPECT_TRUE(rec.images.empty());
  // The other accepted magic.
  prompts.messages.clear();
  EXPECT_TRUE(Load(CfgText(image, "Com8", "K7E1/E3", "1 0 2 0A0B 1 0 0 ", "zar")));
  EXPECT_EQ(rec.port, 7);
  // With the mode off they stamp nothing: a finished QTP run leaves 0 bytes.
  EXPECT_TRUE(Load(CfgText(image, "Com1", "K7E1/E3", "0 0 0  0 1 0 ")));
}

TEST_F(ConfigFileTest, UnknownDeviceFailsFullLoadButSettingsStillApply) {
  const std::string bytes = CfgText(image, "Com2", "K9Z9");
  EXPECT_FALSE(Load(bytes));
  EXPECT_EQ(prompts.Texts(), std::vector<std::string>{DataError()});
  EXPECT_EQ(rec.port, 1);  // applied before the device was looked at
  EXPECT_EQ(state.SerialMode, 0);

  prompts.messages.clear();
  state.DeviceIndex = 0;
  state.ProgramBuffer[0] = 0x55;
  EXPECT_TRUE(Load(bytes, false));
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(state.SerialMode, 1);
  EXPECT_EQ(state.SerialLength, 2);
  EXPECT_EQ(state.OptionLow, 0x11);
  EXPECT_EQ(state.IdBuffer[31], 0x11);
  // Device and image are left alone.
  EXPECT_EQ(state.DeviceIndex, 0);
  EXPECT_EQ(state.ProgramBuffer[0], 0x55);
  EXPECT_TRUE(rec.images.empty());
}

TEST_F(ConfigFileTest, MissingImageFile) {
  EXPECT_FALSE(Load(CfgText("")));
  EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"No data file name"});

  // The start-up file of a session without an image: quiet, settings applied.
  prompts.messages.clear();
  state.StartupLoad = 1;
  EXPECT_TRUE(Load(CfgText("")));
  state.StartupLoad = 0;
  EXPECT_TRUE(prompts.messages.empty()) << prompts.LastText();
  EXPECT_EQ(state.OptionLow, 0x11);
  EXPECT_EQ(state.SerialMode, 1);
  EXPECT_TRUE(rec.images.empty());
  state.SerialMode = 0;

  prompts.messages.clear();
  const std::string gone = dir / "gone.bin";
  EXPECT_FALSE(Load(CfgText(gone), false));
  EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"'" + gone + "' file do not find!"});
  EXPECT_EQ(state.CurrentFileName, "");
  EXPECT_EQ(state.SerialMode, 0);  // settings after the name are not applied

  // A directory is not an image file.
  prompts.messages.clear();
  EXPECT_FALSE(Load(CfgText(dir / "")));
  EXPECT_EQ(prompts.messages.size(), 1u);

  // An image that cannot be opened fails quietly.
  prompts.messages.clear();
  rec.imageResult = false;
  EXPECT_FALSE(Load(CfgText(image)));
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ConfigFileTest, FieldLimitOf500Characters) {
  // A name of exactly 500 characters reads back: its end byte is the one dropped.
  const std::string name500 = "/" + std::string(499, 'n');
  EXPECT_FALSE(Load(CfgText(name500)));
  EXPECT_EQ(prompts.LastText(), "'" + name500 + "' file do not find!");
  EXPECT_EQ(rec.port, 0);

  // A longer one cannot be read back, so it is not written, and the old file stays.
  WriteBytes(state.CfgPath, "old");
  state.CurrentFileName = "/" + std::string(500, 'n');
  EXPECT_FALSE(SaveCfg(state, {"Com1", "K7E1/E3"}, prompts));
  EXPECT_EQ(prompts.LastText(), "'" + state.CfgPath + "' file can't be saved! (image file name too long)");
  EXPECT_EQ(ReadBytes(state.CfgPath), "old");
}

TEST_F(ConfigFileTest, FailedWriteLeavesTheOldFile) {
  WriteBytes(state.CfgPath, "old");
  state.CurrentFileName = image;
  // Root ignores directory permissions, so make the write itself fail.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit tiny = old;
  tiny.rlim_cur = 16;
  setrlimit(RLIMIT_FSIZE, &tiny);
  const bool saved = SaveCfg(state, {"Com1", "K7E1/E3"}, prompts);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(saved);
  EXPECT_EQ(ReadBytes(state.CfgPath), "old");
  EXPECT_EQ(prompts.LastText().rfind("'" + state.CfgPath + "' file can't be saved! (write: ", 0), 0u);
  int files = 0;
  for (const auto& e : fs::directory_iterator(fs::path(state.CfgPath).parent_path())) files += !e.is_directory();
  EXPECT_EQ(files, 2);  // the image and the old configuration, no leftover

  state.CfgPath = dir / "no such dir/set.cfg";
  EXPECT_FALSE(SaveCfg(state, {"Com1", "K7E1/E3"}, prompts));
}

}  // namespace
