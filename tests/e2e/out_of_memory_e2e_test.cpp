// Memory refused anywhere in the show's start-up ends it with the two-line
// report ("An unhandled exception occurred at 0x… :" / "Out of memory") and
// exit code 217 through the normal exit path, never an abort: on the main
// thread (the first allocation, deep in a scene load, the feedback texture's
// buffer) and on a picture worker (reading the file, stb_image's buffers, a
// TGA's pixels, the mipmap levels), whose failure the main thread reports.
//
// A library preloaded into the real binary refuses the one allocation the
// case names (fail_alloc/fail_alloc.cpp), and says which; the case checks
// with the binary's own symbols that it was refused where intended.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "x_session.h"

namespace {

namespace fs = std::filesystem;
using e2e::DataDir;
using e2e::Have;
using e2e::Show;
using e2e::ShowOptions;
using e2e::Xvfb;

#ifdef QUILLON_FAIL_ALLOC

struct Symbol {
  std::uintptr_t address;
  std::string name;
};

// The binary's code symbols in address order.
std::vector<Symbol> CodeSymbols() {
  std::vector<Symbol> symbols;
  auto listing = testsupport::RunCommand(std::string("nm -C -n --defined-only ") + QUILLON_BINARY);
  std::istringstream lines(listing.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.size() < 20 || line[16] != ' ' || line[18] != ' ') continue;
    const char type = line[17];
    if (type != 't' && type != 'T' && type != 'W' && type != 'w') continue;
    symbols.push_back({static_cast<std::uintptr_t>(std::stoull(line.substr(0, 16), nullptr, 16)), line.substr(19)});
  }
  return symbols;
}

// "FROM-TO" around every function whose name holds the text (their cold
// parts aside), empty when there is none.
std::string RangeOf(const std::vector<Symbol>& symbols, const std::string& text) {
  std::uintptr_t from = UINTPTR_MAX, to = 0;
  for (std::size_t i = 0; i + 1 < symbols.size(); ++i) {
    if (symbols[i].name.find(text) == std::string::npos) continue;
    if (symbols[i].name.find("[clone .cold]") != std::string::npos) continue;
    from = std::min(from, symbols[i].address);
    to = std::max(to, symbols[i + 1].address);
  }
  if (to == 0) return {};
  std::ostringstream range;
  range << std::hex << from << "-" << to;
  return range.str();
}

std::string SymbolAt(const std::vector<Symbol>& symbols, std::uintptr_t offset) {
  std::string name = "?";
  for (const Symbol& s : symbols) {
    if (s.address > offset) break;
    name = s.name;
  }
  return name;
}

struct RefusedAllocation {
  const char* name;
  const char* choice;     // THREAD:KIND:N for the preloaded library
  const char* within;     // only allocations by functions whose name holds this, or ""
  const char* refusedIn;  // the refused call's function name holds one of these, "|"-separated
};

void PrintTo(const RefusedAllocation& c, std::ostream* os) { *os << c.choice; }

class OutOfMemoryEndToEnd : public ::testing::TestWithParam<RefusedAllocation> {};

TEST_P(OutOfMemoryEndToEnd, ReportsAndExits217) {
  if (!Have("Xvfb") || !Have("xrandr") || !Have("nm")) GTEST_SKIP() << "needs Xvfb, xrandr and nm";
  if (!fs::exists(fs::path(DataDir()) / "cam.3dw")) GTEST_SKIP() << "no data set in " << DataDir();
  const RefusedAllocation& c = GetParam();
  const std::vector<Symbol> symbols = CodeSymbols();
  ASSERT_FALSE(symbols.empty());
  std::string choice = c.choice;
  if (*c.within) {
    const std::string range = RangeOf(symbols, c.within);
    ASSERT_FALSE(range.empty()) << "no function named like " << c.within;
    choice += ":" + range;
  }

  Xvfb x;
  ASSERT_FALSE(x.display().empty());
  ASSERT_TRUE(e2e::OfferShowMode(x.display()));
  testsupport::TempDir dir;
  ShowOptions options;
  options.ownGroup = true;
  options.environment = {{"LD_PRELOAD", QUILLON_FAIL_ALLOC}, {"QUILLON_FAIL_ALLOC", choice}};
  Show show(x.display(), DataDir(), dir.path(), options);
  const int exitCode = show.Wait(90);
  const std::string out = show.Out(), err = show.Err();

  // The refusal happened, where the case meant it to.
  std::smatch refusal;
  ASSERT_TRUE(std::regex_search(err, refusal, std::regex("fail_alloc: refused [0-9]+ bytes to [a-z]+ on "
                                                         "(the main|another) thread at exe\\+0x([0-9a-f]+)(?: via exe\\+0x([0-9a-f]+))?")))
      << "nothing was refused\n" << err;
  // The function of the range the refusal was aimed at: the allocating one,
  // or the caller it was found through.
  const std::string where = SymbolAt(symbols, std::stoull(refusal[refusal[3].matched ? 3 : 2].str(), nullptr, 16) -
                                                  (refusal[3].matched ? 1 : 0));
  bool expected = false;
  std::istringstream names(c.refusedIn);
  for (std::string name; std::getline(names, name, '|');) expected = expected || where.find(name) != std::string::npos;
  EXPECT_TRUE(expected) << "refused in " << where;

  // The report, 217, the teardown (the display back in its own mode), and no
  // abort.
  EXPECT_EQ(show.TermSignal(), 0) << strsignal(show.TermSignal()) << "\n" << err;
  EXPECT_EQ(exitCode, 217) << out << err;
  EXPECT_TRUE(std::regex_search(out, std::regex("An unhandled exception occurred at 0x[0-9A-F]{8} :\nOut of memory\n$")))
      << out;
  EXPECT_EQ(e2e::CurrentMode(x.display()), "1024x768");
  EXPECT_TRUE(show.GroupGoneWithin(2000));
}

INSTANTIATE_TEST_SUITE_P(
    EveryPlace, OutOfMemoryEndToEnd,
    ::testing::Values(
        RefusedAllocation{"FirstOnTheMainThread", "main:any:0", "", "shell::|assets::|std::"},
        RefusedAllocation{"DeepInASceneLoad", "main:any:5000", "scene::", "scene::"},
        // The black picture the texture starts with, made by the function that
        // also clears it for a jump.
        RefusedAllocation{"FeedbackTextureBuffer", "main:new:0", "shell::ClearFeedbackTexture()",
                          "FeedbackTexture"},
        // Reading the file grows a std::vector, which the optimiser may or may
        // not inline into the reading function: either is the worker's read
        // (an unoptimised build leaves even the allocator on its own).
        RefusedAllocation{"WorkerReadingAPicture", "other:new:0", "", "platform::|assets::|std::vector|std::__new_allocator"},
        RefusedAllocation{"StbImageOnAWorker", "other:calloc:0", "", "stbi|Stb"},
        RefusedAllocation{"StbImageLaterOnAWorker", "other:calloc:40", "", "stbi|Stb"},
        RefusedAllocation{"TgaPixelsOnAWorker", "other:malloc:0", "", "DecodeTga|txLoad"},
        RefusedAllocation{"MipmapLevelsOnAWorker", "other:new:3", "assets::BuildMipmapLevels", "BuildMipmapLevels"}),
    [](const ::testing::TestParamInfo<RefusedAllocation>& info) { return std::string(info.param.name); });

// The sound device's thread, aimed at by its name: every buffer the mixer
// uses is sized before the music plays, so with that thread's first
// allocation refused there is nothing to refuse, and the show plays on and
// stops cleanly. (Where the mixer must still grow something there, the
// refusal is silence and the main thread's report; the Windows suite makes
// that happen on waveOut's filling thread.)
TEST(OutOfMemoryEndToEndSound, TheSoundThreadAllocatesNothingWhileTheMusicPlays) {
  if (!Have("Xvfb") || !Have("xrandr")) GTEST_SKIP() << "needs Xvfb and xrandr";
  if (!fs::exists(fs::path(DataDir()) / "cam.3dw")) GTEST_SKIP() << "no data set in " << DataDir();
  Xvfb x;
  ASSERT_FALSE(x.display().empty());
  testsupport::TempDir dir;
  ShowOptions options;
  options.ownGroup = true;
  options.environment = {{"LD_PRELOAD", QUILLON_FAIL_ALLOC}, {"QUILLON_FAIL_ALLOC", "named=SDLAudioP:any:0"}};
  Show show(x.display(), DataDir(), dir.path(), options);
  ASSERT_FALSE(e2e::WaitForWindow(x.display(), show, 30).empty()) << show.Out() << show.Err();
  // The music starts once the loading ends, a few seconds after the window:
  // this is ten seconds of it or more, through many decoded chunks.
  std::this_thread::sleep_for(std::chrono::seconds(15));
  ASSERT_TRUE(show.Running()) << show.Out() << show.Err();
  show.Signal(SIGTERM, true);
  EXPECT_EQ(show.Wait(10), 0) << show.Out() << show.Err();
  EXPECT_EQ(show.Err().find("fail_alloc: refused"), std::string::npos) << show.Err();
}

#else

TEST(OutOfMemoryEndToEnd, NeedsTheAllocationRefusingLibrary) {
  GTEST_SKIP() << "the allocation-refusing library is not built with the sanitizers";
}

#endif

}  // namespace
