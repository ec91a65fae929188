// SPDX-License-Identifier: GPL-3.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/console_ports.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/temp_dir.h"

namespace sorvina::cli {
namespace {

using test::ReadBytes;

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

struct Terminal {
  bool input = false;
  bool error = false;
  const volatile std::sig_atomic_t* interrupted = nullptr;
};

Outcome RunCli(std::vector<std::string> arguments, const std::string& input = {},
               Terminal terminal = {}) {
  arguments.insert(arguments.begin(), "sorvina-cli");
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const Console console{in, out, err, terminal.input, terminal.error, terminal.interrupted};
  const int status = Run(arguments, console);
  return {status, out.str(), err.str()};
}

// Six files of 1,000 bytes each, three in each of two folders.
class SelectionCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name :
         {"a/one.mp3", "a/two.mp3", "a/three.mp3", "b/four.mp3", "b/five.mp3", "b/six.mp3"}) {
      files_.push_back(dir_.WriteFile(std::string("music/") + name, std::string(1000, name[2])));
    }
    std::sort(files_.begin(), files_.end());
  }

  test::TempDir dir_;
  std::string music_ = dir_ / "music";
  std::vector<std::string> files_;
};

TEST_F(SelectionCommandTest, DryRunPrintsTheDrawRepeatablyAndChangesNothing) {
  const std::string dest = dir_ / "player/sub";
  const Outcome all = RunCli({"-s", music_, "-c", dest, "--all", "--seed", "7", "-n"});
  EXPECT_EQ(all.status, 0);
  EXPECT_EQ(all.err, "Would copy 6 files (0.00572 MB) to " + dest + "\n");
  std::vector<std::string> drawn = test::LinesOf(all.out);
  EXPECT_EQ(RunCli({"-s", music_, "-c", dest, "--all", "--seed", "7", "--dry-run"}).out, all.out);
  std::sort(drawn.begin(), drawn.end());
  EXPECT_EQ(drawn, files_);  // every file once
  EXPECT_FALSE(fs::exists(dir_ / "player"));

  // 0.002 MB is 2,097 bytes: two files of 1,000 fit, the third does not.
  const Outcome some = RunCli({"-s", music_, "-p", dir_ / "l.m3u", "--mb", "0.002", "-n"});
  EXPECT_EQ(some.status, 0);
  EXPECT_EQ(test::LinesOf(some.out).size(), 2u);
  EXPECT_FALSE(fs::exists(dir_ / "l.m3u"));

  // A weight given on the command line reaches the folder it names: with a heavy weight
  // on b, b's three files come first.
  const Outcome weighted =
      RunCli({"-s", music_, "-w", "1e6=" + music_ + "/b//", "-c", dest, "--all", "-n"});
  const std::vector<std::string> order = test::LinesOf(weighted.out);
  ASSERT_EQ(order.size(), 6u);
  for (int i = 0; i < 3; ++i)
    EXPECT_NE(order[i].find("/b/"), std::string::npos) << order[i];
}

TEST_F(SelectionCommandTest, WritesPlaylistsAndCopiesFiles) {
  const std::string list = dir_ / "lists/mix.M3U";
  const Outcome written = RunCli({"-s", music_, "-p", list, "--all", "--seed", "1"});
  EXPECT_EQ(written.status, 0);
  EXPECT_EQ(written.err, "Wrote a playlist of 6 files (0.00572 MB) to " + list + "\n");
  const std::string playlist = ReadBytes(list);
  EXPECT_EQ(playlist.rfind("#EXTM3U\r\n", 0), 0u);
  for (const std::string& file : files_)
    EXPECT_NE(playlist.find(file + "\r\n"), std::string::npos) << file;

  const std::string dest = dir_ / "player/new";
  const Outcome copied = RunCli({"-s", music_, "-c", dest, "--all"});
  EXPECT_EQ(copied.status, 0);
  EXPECT_EQ(copied.err, "Copied 6 files (0.00572 MB) to " + dest + "\n");
  for (const std::string& file : files_) {
    const std::string target = dest + "/" + fs::path(file).filename().string();
    EXPECT_EQ(ReadBytes(target), ReadBytes(file)) << target;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 6);

  // Relative paths are taken from the current folder and written absolute, so that the
  // playlist in its own folder still finds the files; the weight meets the folder
  // however it is spelled.
  const fs::path before = fs::current_path();
  fs::current_path(dir_.path());
  const Outcome relative =
      RunCli({"-s", "./music/", "-w", "1e6=music//b", "-p", "lists/rel.m3u", "--all"});
  fs::current_path(before);
  EXPECT_EQ(relative.status, 0) << relative.err;
  const std::vector<std::string> entries = test::LinesOf(ReadBytes(dir_ / "lists/rel.m3u"));
  ASSERT_EQ(entries.size(), 13u);
  for (int i = 2; i < 7; i += 2)
    EXPECT_EQ(entries[i].rfind(music_ + "/b/", 0), 0u) << entries[i];

  // Hours count playing time: 0.006 hours are 22 seconds, two files of 10 seconds.
  test::TempDir timed;
  for (const char* name : {"x.mp3", "y.mp3", "z.mp3"})
    timed.WriteFile(name, test::ConstantBitrateMp3(10));
  const Outcome hours = RunCli({"-s", timed.path(), "-p", timed / "t.m3u", "--hours", "0.006"});
  EXPECT_EQ(hours.status, 0);
  EXPECT_EQ(test::LinesOf(ReadBytes(timed / "t.m3u")).size(), 1u + 2 * 2);
}

TEST_F(SelectionCommandTest, NameConflictsFollowThePolicyOrTheAnswer) {
  const std::string source = music_ + "/a";
  // A player folder holding a file of the user's under the name of one of a's files.
  const auto player = [&](const std::string& name) {
    return dir_.WriteFile(name + "/one.mp3", "the user's own file");
  };
  const auto run = [&](const std::string& mine, std::vector<std::string> extra,
                       const std::string& input = {}, Terminal terminal = {}) {
    std::vector<std::string> arguments = {"-s", source, "-c", fs::path(mine).parent_path(),
                                          "--all"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return RunCli(arguments, input, terminal);
  };

  // Input that is no terminal skips by default and keeps the user's file. The file left
  // out is a result: it is named also when quiet.
  for (const std::string folder : {"skip", "skip quietly"}) {
    const std::string skipped = player(folder);
    const Outcome skipping =
        run(skipped, folder == "skip" ? std::vector<std::string>{}
                                      : std::vector<std::string>{"--on-conflict", "skip", "-q"});
    EXPECT_EQ(skipping.status, 0);
    EXPECT_NE(skipping.err.find("not copied, the destination has a file of that name: " + skipped),
              std::string::npos)
        << folder << ": " << skipping.err;
    EXPECT_EQ(ReadBytes(skipped), "the user's own file");
    EXPECT_EQ(ReadBytes(dir_ / (folder + "/two.mp3")), ReadBytes(source + "/two.mp3"));
  }

  const std::string kept = player("keep");
  EXPECT_EQ(run(kept, {"--on-conflict", "keep-both"}).status, 0);
  EXPECT_EQ(ReadBytes(kept), "the user's own file");
  EXPECT_EQ(ReadBytes(dir_ / "keep/one (2).mp3"), ReadBytes(source + "/one.mp3"));

  // Asking: the prompt names the target, a wrong answer is asked again, and the end of
  // the input cancels, leaving the file alone.
  const std::string asked = player("ask");
  const Outcome cancelled = run(asked, {"--on-conflict", "ask", "-q"}, "what\n");
  EXPECT_EQ(cancelled.status, 1);
  EXPECT_NE(cancelled.err.find('"' + asked + "\" exists"), std::string::npos) << cancelled.err;
  EXPECT_NE(cancelled.err.find("Please answer"), std::string::npos);
  EXPECT_NE(cancelled.err.find("cancelled"), std::string::npos);
  EXPECT_EQ(ReadBytes(asked), "the user's own file");

  // A terminal on the input asks by default.
  const std::string replaced = player("replace");
  const Outcome answered = run(replaced, {}, "R\n", {.input = true});
  EXPECT_EQ(answered.status, 0) << answered.err;
  EXPECT_NE(answered.err.find("exists already"), std::string::npos);
  EXPECT_EQ(ReadBytes(replaced), ReadBytes(source + "/one.mp3"));

  // An interrupt stops the copy before anything is written, leaving no partial file.
  const volatile std::sig_atomic_t interrupted = 1;
  const std::string fresh = dir_.MakeFolder("fresh");
  const Outcome stopped =
      RunCli({"-s", source, "-c", fresh, "--all"}, {}, {.interrupted = &interrupted});
  EXPECT_EQ(stopped.status, 1);
  EXPECT_NE(stopped.err.find("cancelled"), std::string::npos);
  for (const auto& entry : fs::directory_iterator(fresh))
    ADD_FAILURE() << "left behind: " << entry.path();
}

TEST(ConflictAnswerTest, LettersWordsAndForAll) {
  using transfer::ConflictAction;
  const auto parsed = [](std::string_view text) { return ParseConflictAnswer(text); };
  EXPECT_EQ(parsed("r")->action, ConflictAction::kReplace);
  EXPECT_FALSE(parsed(" r \r")->forAllRemaining);
  EXPECT_TRUE(parsed("S")->forAllRemaining);
  EXPECT_EQ(parsed("S")->action, ConflictAction::kSkip);
  EXPECT_EQ(parsed("Keep Both all")->action, ConflictAction::kKeepBoth);
  EXPECT_TRUE(parsed("keep-both all")->forAllRemaining);
  EXPECT_EQ(parsed("cancel")->action, ConflictAction::kCancel);
  EXPECT_FALSE(parsed("").has_value());
  EXPECT_FALSE(parsed("all").has_value());
  EXPECT_FALSE(parsed("rs").has_value());
}

TEST_F(SelectionCommandTest, SavedSettingsLoadAndYieldToTheCommandLine) {
  const std::string saved = dir_ / "saved.txt";
  const Outcome save =
      RunCli({"-s", music_ + "/a", "-s", dir_ / "party.m3u", "-w", "2.5=" + music_ + "/b", "-p",
              dir_ / "mix.m3u", "--mb", "650", "--save-settings", saved});
  EXPECT_EQ(save.status, 0);
  EXPECT_EQ(save.err, "");
  EXPECT_EQ(ReadBytes(saved), "2\r\n" + music_ + "/a\r\n" + dir_ / "party.m3u" + "\r\n" +
                                  dir_ / "mix.m3u" + "\r\n1\r\n2.50 " + music_ +
                                  "/b/\r\n0 650\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "mix.m3u"));

  // Loaded as saved: playlist mode from the ".m3u" ending, the limit from the last line.
  const Outcome loaded = RunCli({"--settings", saved, "-n", "--seed", "3"});
  EXPECT_EQ(loaded.status, 0) << loaded.err;
  EXPECT_EQ(test::LinesOf(loaded.out).size(), 3u);
  const Outcome played = RunCli({"--settings", saved});
  EXPECT_EQ(played.status, 0);
  EXPECT_EQ(ReadBytes(dir_ / "mix.m3u").rfind("#EXTM3U\r\n", 0), 0u);

  // Flags replace what the file holds; "all" keeps the stored amount, as the wizard does.
  const std::string resaved = dir_ / "resaved.txt";
  EXPECT_EQ(RunCli({"--settings", saved, "-s", music_, "-c", dir_ / "out", "--all",
                    "--save-settings", resaved})
                .status,
            0);
  EXPECT_EQ(ReadBytes(resaved), "1\r\n" + music_ + "\r\n" + dir_ / "out" + "\r\n1\r\n2.50 " +
                                    music_ + "/b/\r\n2 650\r\n");
  EXPECT_EQ(test::LinesOf(RunCli({"--settings", resaved, "-n"}).out).size(), 6u);

  // Limit lines: hours, and a mode no page knows (the megabyte choice, nothing typed).
  const std::string head = "1\n" + music_ + "\n" + dir_ / "h.m3u" + "\n0\n";
  const std::string hours = dir_.WriteFile("hours.txt", head + "1 \n");
  EXPECT_EQ(RunCli({"--settings", hours, "-n"}).err, "Please enter a number of hours to select\n");
  const std::string odd = dir_.WriteFile("odd.txt", head + "7 650\n");
  EXPECT_EQ(RunCli({"--settings", odd, "-n"}).err, "Please enter a number of MB to select\n");
  EXPECT_EQ(RunCli({"--settings", odd, "--hours", "1", "-n"}).status, 0);
  // Without a destination the run says so; the command line was complete.
  const std::string bare = dir_.WriteFile("bare.txt", "1\n" + music_ + "\n");
  EXPECT_EQ(RunCli({"--settings", bare, "--all"}).err,
            "Please select a valid destination folder\n");
}

TEST_F(SelectionCommandTest, FillOptionsAreSavedLoadedAndCopyAsAsked) {
  // Saved after the classic lines; loaded back, they fill the player as given.
  const std::string saved = dir_ / "fill.txt";
  const std::string player = dir_ / "player";
  EXPECT_EQ(RunCli({"-s", music_, "-c", player, "--mb", "free", "--fill", "--keep-folders",
                    "--save-settings", saved})
                .status,
            0);
  EXPECT_EQ(ReadBytes(saved),
            "1\r\n" + music_ + "\r\n" + player + "\r\n0\r\n0 free\r\nfill=1\r\nkeep-folders=1\r\n");
  const Outcome filled = RunCli({"--settings", saved, "--seed", "2"});
  EXPECT_EQ(filled.status, 0) << filled.err;
  EXPECT_EQ(filled.err, "Copied 6 files (0.00572 MB) to " + player + "\n");
  for (const std::string& file : files_)
    EXPECT_EQ(ReadBytes(player + file.substr(music_.size())), ReadBytes(file)) << file;

  // 0.0025 MB is 2,621 bytes: two files of 1,000 fit, and a third nowhere.
  for (const char* seed : {"1", "2", "3", "4", "5"}) {
    const Outcome some = RunCli(
        {"-s", music_, "-p", dir_ / "l.m3u", "--mb", "0.0025", "--fill", "-n", "--seed", seed});
    EXPECT_EQ(test::LinesOf(some.out).size(), 2u) << seed;
  }
  EXPECT_EQ(RunCli({"-s", music_, "-p", dir_ / "l.m3u", "--mb", "free", "-n"}).err,
            "Free space can only be filled when copying files\n");
}

TEST_F(SelectionCommandTest, RepeatedFillOptionsAreSavedLoadedAndTheirDryRunListsRemovals) {
  const std::string saved = dir_ / "again.txt";
  const std::string player = dir_ / "player";
  EXPECT_EQ(
      RunCli({"-s", music_, "-c", player, "--mb", "0.002", "--replace-previous", "--avoid-last",
              "2", "--device-playlist", "Sorvina.m3u8", "--save-settings", saved})
          .status,
      0);
  EXPECT_EQ(ReadBytes(saved), "1\r\n" + music_ + "\r\n" + player +
                                  "\r\n0\r\n0 0.002\r\nreplace-previous=1\r\navoid-last=2\r\n"
                                  "device-playlist=Sorvina.m3u8\r\n");
  // 0 on the command line switches avoiding off again.
  EXPECT_EQ(
      RunCli({"--settings", saved, "--avoid-last", "0", "--save-settings", dir_ / "b.txt"}).status,
      0);
  EXPECT_EQ(ReadBytes(dir_ / "b.txt").find("avoid-last"), std::string::npos);

  const Outcome first = RunCli({"--settings", saved, "--seed", "1"});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.err,
            "Copied 2 files (0.00191 MB) to " + player + ", no earlier fill to replace\n");
  const std::vector<std::string> copied = test::NamesIn(player);
  ASSERT_EQ(copied.size(), 4u);  // two files, the playlist, the record's folder

  const Outcome dry = RunCli({"--settings", saved, "--seed", "2", "-n"});
  EXPECT_EQ(dry.status, 0) << dry.err;
  const std::vector<std::string> lines = test::LinesOf(dry.out);
  // The two songs go, then two are chosen; the playlist is replaced whole at the end.
  ASSERT_EQ(lines.size(), 4u) << dry.out;
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(lines[i].rfind("remove " + player + "/", 0), 0u) << lines[i];
  for (int i = 2; i < 4; ++i)
    EXPECT_EQ(std::count(copied.begin(), copied.end(), fs::path(lines[i]).filename()), 0);
  EXPECT_EQ(test::NamesIn(player), copied);

  // A record that cannot be used is only a warning: the run goes on and succeeds. Without
  // it, the songs on the player are copies of the sources' and the playlist is a file of
  // that name, left alone; --adopt-copies would take the copies for the previous fill.
  dir_.WriteFile("player/.sorvina/fills.txt", "not a record");
  const Outcome warned = RunCli({"--settings", saved, "--seed", "3"});
  EXPECT_EQ(warned.status, 0) << warned.err;
  EXPECT_THAT(test::LinesOf(warned.err),
              ElementsAre("warning: The record of earlier fills in " + player +
                              "/.sorvina/fills.txt was ignored: it is no record of fills that "
                              "this version can read",
                          "warning: This player has no record of an earlier fill; 2 files "
                          "(0.00191 MB) on it are copies of songs in the sources",
                          "sorvina-cli: not copied, the destination has a file of that name: " +
                              player + "/Sorvina.m3u8",
                          ::testing::StartsWith("Copied 2 files"),
                          "sorvina-cli: --adopt-copies takes them for that fill, to be replaced"));

  // A playlist may name its entries relative to its own folder.
  const std::string list = dir_ / "l.m3u";
  EXPECT_EQ(RunCli({"-s", music_, "-p", list, "--all", "--relative"}).status, 0);
  const std::vector<std::string> entries = test::LinesOf(ReadBytes(list));
  EXPECT_EQ(entries[2].rfind("music/", 0), 0u) << entries[2];
}

TEST_F(SelectionCommandTest, SettingsFilesThatCannotBeReadOrWritten) {
  const std::string missing = dir_ / "missing.txt";
  const Outcome gone = RunCli({"--settings", missing, "--all", "-c", dir_ / "out"});
  EXPECT_EQ(gone.status, 1);
  EXPECT_NE(gone.err.find("cannot read the settings file " + missing), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "out"));
  EXPECT_EQ(RunCli({"--settings", music_, "--all"}).status, 1);

  const std::string locked = dir_.WriteFile("locked.txt", "1\n" + music_ + "\n\n0\n2 \n");
  ::chmod(locked.c_str(), 0);
  const std::string refused = test::RunUnprivileged([&] {
    const Outcome outcome = RunCli({"--settings", locked, "-n"});
    return std::to_string(outcome.status) + outcome.out + outcome.err;
  });
  EXPECT_EQ(refused.rfind("1sorvina-cli: cannot read the settings file " + locked, 0), 0u)
      << refused;

  const Outcome unsaved = RunCli(
      {"-s", music_, "-c", dir_ / "out", "--all", "--save-settings", dir_ / "no/such/s.txt"});
  EXPECT_EQ(unsaved.status, 1);
  EXPECT_EQ(unsaved.err, "Can't open settings file for writing\n");
}

TEST_F(SelectionCommandTest, EngineMessagesAreExactAndExitWithOne) {
  const std::string list = dir_ / "l.m3u";
  const auto message = [&](std::vector<std::string> arguments) {
    const Outcome outcome = RunCli(arguments);
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_EQ(outcome.out, "");
    return outcome.err;
  };
  EXPECT_EQ(message({"-p", list, "--all"}),
            "Please select at least one source folder or play list\n");
  EXPECT_EQ(message({"-s", dir_.MakeFolder("empty"), "-p", list, "--all"}), "No MP3s found\n");
  for (const char* amount : {"abc", "-3", "0", "nan", ""})
    EXPECT_EQ(message({"-s", music_, "-p", list, "--mb", amount}),
              "Please enter a number of MB to select\n")
        << amount;
  EXPECT_EQ(message({"-s", music_, "-p", list, "--hours", "0.0001"}),
            "Please enter a number of hours to select\n");
  EXPECT_EQ(message({"-s", music_, "-p", dir_ / "mix.txt", "--all"}),
            "Please select a play list file\n");
  EXPECT_EQ(message({"-s", music_, "-c", files_[0], "--all"}),
            "Please select a valid destination folder\n");
  for (const char* name : {"../up.m3u8", "/abs.m3u8", "Sorvina", ".m3u8", "a/./b.m3u8"})
    EXPECT_EQ(message({"-s", music_, "-c", dir_ / "out", "--all", "--device-playlist", name}),
              "Please give the playlist on the device a name ending in .m3u8, inside the "
              "destination folder\n")
        << name;
  EXPECT_FALSE(fs::exists(dir_ / "up.m3u8"));
  EXPECT_FALSE(fs::exists(list));

  // A huge amount takes everything rather than failing.
  const Outcome huge = RunCli({"-s", music_, "-p", list, "--mb", "1e400", "-n"});
  EXPECT_EQ(huge.status, 0) << huge.err;
  EXPECT_EQ(test::LinesOf(huge.out).size(), 6u);
}

TEST_F(SelectionCommandTest, UsageErrorsExitWithTwo) {
  const std::string list = dir_ / "l.m3u";
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"-s", music_, "--all"},     // no destination
      {"-s", music_, "-p", list},  // no limit
      {"-s", music_, "-p", list, "-c", dir_ / "d", "--all"},
      {"-s", music_, "-p", list, "--mb", "5", "--all"},
      {"-s", music_, "-p", list, "--mb", "5", "--hours", "1"},
      {"-s", music_, "-p", list, "--all", "-w", "heavy=" + music_},
      {"-s", music_, "-p", list, "--all", "-w", "2"},
      {"-s", music_, "-p", list, "--all", "-w", "2="},
      {"-s", music_, "-p", list, "--all", "-w", "inf=/x"},
      {"-s", music_, "-p", list, "--all", "--seed", "-1"},
      {"-s", music_, "-p", list, "--all", "--seed", "4294967296"},
      {"-s", music_, "-p", list, "--all", "--on-conflict", "overwrite"},
      {"-s", music_, music_, "-p", list, "--all"},
      {"--mb", "5", "probe", files_[0]},
      {"-s", music_, "-p", list, "--all", "--types", ""},
      {"--types", "mp3", "probe", files_[0]},
      {"-s", music_, "-p", list, "--all", "--replace-previous"},  // copies only
      {"-s", music_, "-p", list, "--all", "--device-playlist", "x.m3u8"},
      {"-s", music_, "-c", dir_ / "d", "--all", "--relative"},  // playlists only
      {"-s", music_, "-c", dir_ / "d", "--all", "--avoid-last", "-1"},
      {"-s", music_, "-c", dir_ / "d", "--all", "--avoid-last", "two"},
  };
  for (const std::vector<std::string>& arguments : wrong) {
    const Outcome outcome = RunCli(arguments);
    EXPECT_EQ(outcome.status, 2) << ::testing::PrintToString(arguments) << outcome.err;
    EXPECT_NE(outcome.err, "");
  }
  EXPECT_FALSE(fs::exists(list));
}

TEST_F(SelectionCommandTest, TypesAreCheckedSavedAndReplaceTheSettingsFiles) {
  const std::string list = dir_ / "l.m3u";
  const Outcome unknown = RunCli({"-s", music_, "-p", list, "--all", "--types", "mp3,Speex"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("--types: unknown file type 'speex' (known: mp3, flac, ogg, opus, "
                             "m4a, wma, wav, aiff)"),
            std::string::npos)
      << unknown.err;

  dir_.WriteFile("music/a/seven.FLAC", "x");
  dir_.WriteFile("music/b/eight.ogg", "x");
  const std::string saved = dir_ / "saved.txt";
  ASSERT_EQ(RunCli({"-s", music_, "-p", list, "--all", "--types", " FLAC, ogg ", "--save-settings",
                    saved})
                .status,
            0);
  EXPECT_NE(ReadBytes(saved).find("\r\n2 \r\ntypes=flac,ogg\r\n"), std::string::npos);
  EXPECT_EQ(test::LinesOf(RunCli({"--settings", saved, "-n"}).out).size(), 2u);
  EXPECT_EQ(test::LinesOf(RunCli({"--settings", saved, "-n", "--types", "mp3,flac"}).out).size(),
            7u);
  // A file naming only types this version does not know chooses MP3s.
  const std::string newer =
      dir_.WriteFile("newer.txt", "1\n" + music_ + "\n" + list + "\n0\n2 \ntypes=speex\n");
  EXPECT_EQ(test::LinesOf(RunCli({"--settings", newer, "-n"}).out).size(), 6u);
}

// Files from the encoders, one of each type, as a playlist of two hours: every entry with
// its time and its caption.
TEST(MixedLibraryTest, APlaylistOfEveryTypeCarriesTheirTimesAndCaptions) {
  if (!test::ProgramsInstalled({"ffmpeg", "lame", "flac"}))
    GTEST_SKIP() << "the encoders are missing (scripts/setup adds them)";
  test::TempDir dir;
  const std::string wav = dir.WriteFile("sound.wav", test::SoundWav(44100, 2, 3.4));
  const std::string in = test::ShellQuoted(wav);
  const std::pair<const char*, std::string> encodings[] = {
      {"lib/x/vbr.mp3", "lame --quiet -V 4 -t --tt Title --ta Artist " + in},
      {"lib/x/tone.flac", "flac -s -f --tag=TITLE=Title --tag=ARTIST=Artist " + in + " -o"},
      {"lib/y/tone.ogg", "ffmpeg -v error -i " + in + " -c:a libvorbis -metadata title=Title"},
      {"lib/y/tone.opus", "ffmpeg -v error -i " + in + " -c:a libopus -metadata title=Title"},
      {"lib/y/Untagged.m4a", "ffmpeg -v error -i " + in + " -c:a aac"},
      {"lib/y/skipped.wav", "ffmpeg -v error -i " + in},
  };
  dir.MakeFolder("lib/x");
  dir.MakeFolder("lib/y");
  for (const auto& [name, command] : encodings)
    ASSERT_TRUE(test::RunCommand(command + " " + test::ShellQuoted(dir / name))) << command;

  const std::string playlist = dir / "mix.m3u";
  const Outcome outcome = RunCli({"-s", dir / "lib", "--types", "mp3,flac,ogg,opus,m4a", "-p",
                                  playlist, "--hours", "2", "--seed", "7"});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  std::vector<std::string> lines = test::LinesOf(ReadBytes(playlist));
  ASSERT_EQ(lines.size(), 11u);
  std::vector<std::string> entries;
  for (std::size_t i = 2; i < lines.size(); i += 2)
    entries.push_back(lines[i - 1] + lines[i].substr(lines[i].rfind('/')));
  std::sort(entries.begin(), entries.end());
  EXPECT_THAT(entries, ::testing::ElementsAre(
                           "#EXTINF:3,Artist - Title\r/tone.flac\r",
                           "#EXTINF:3,Artist - Title\r/vbr.mp3\r", "#EXTINF:3,Title\r/tone.ogg\r",
                           "#EXTINF:3,Title\r/tone.opus\r", "#EXTINF:3,Untagged\r/Untagged.m4a\r"));
}

// A classic run, one of each output, pinned to what the selection has always produced
// for this seed: a change to the draw, the weighting, the amount, the captions, the copy
// or the settings file shows up here as a changed byte.
TEST(ClassicRunTest, SeededRunsGiveTheSameChoiceAndBytesAsEver) {
  test::TempDir dir;
  struct Song {
    const char* path;
    int seconds;
    const char* title;  // nullptr: untagged; the caption is the file's name
    const char* artist;
    int tag;  // 1: ID3v1, 4: ID3v2.4
  };
  const Song songs[] = {
      {"music/Rock/Anthem.mp3", 4, "Anthem", "The Band", 4},
      {"music/Rock/Ballad.mp3", 7, "Ballad", "Singer", 1},
      {"music/Rock/Riff.mp3", 3, nullptr, nullptr, 0},
      {"music/Rock/Encore.mp3", 9, "Encore", "", 4},
      {"music/Jazz/Blue.mp3", 5, "Blue", "Quartet", 4},
      {"music/Jazz/Late Night.mp3", 6, nullptr, nullptr, 0},
      {"music/Jazz/Swing.mp3", 8, "Swing", "Big Band", 1},
      {"music/Jazz/Take.mp3", 2, "", "Trio", 4},
      {"music/Talk/Deep/Episode 1.mp3", 11, nullptr, nullptr, 0},
      {"music/Talk/Deep/Episode 2.mp3", 10, "Episode 2", "Host", 4},
      {"extra/Guest.mp3", 4, "Guest", "Visitor", 4},
      {"extra/Bonus.mp3", 3, nullptr, nullptr, 0},
  };
  for (const Song& song : songs) {
    std::string bytes = test::ConstantBitrateMp3(song.seconds);
    if (song.tag == 1) bytes += test::Id3v1Tag(song.title, song.artist);
    const std::string path = dir.WriteFile(song.path, bytes);
    if (song.tag == 4) test::WriteId3v2Texts(path, song.title, song.artist);
  }
  dir.WriteFile("music/Rock/cover.jpg", "not a song");
  dir.WriteFile("lists/party.m3u",
                "#EXTM3U\r\n" + dir / "extra/Guest.mp3" + "\r\n../extra/Bonus.mp3\r\n");
  dir.WriteFile("player/Blue.mp3", "the user's own");

  const std::string root = dir.path();
  const auto rooted = [&root](std::string text) {
    for (std::size_t at = text.find(root); at != std::string::npos; at = text.find(root, at))
      text.replace(at, root.size(), "~");
    return text;
  };
  const std::string saved = dir / "classic.txt";
  ASSERT_EQ(RunCli({"-s", dir / "music", "-s", dir / "lists/party.m3u", "-w",
                    "3=" + dir / "music/Rock", "-w", "0.5=" + dir / "music/Talk", "-c",
                    dir / "player", "--mb", "0.6", "--save-settings", saved})
                .status,
            0);
  EXPECT_EQ(rooted(ReadBytes(saved)),
            "2\r\n~/music\r\n~/lists/party.m3u\r\n~/player\r\n2\r\n3.00 ~/music/Rock/\r\n"
            "0.50 ~/music/Talk/\r\n0 0.6\r\n");

  const Outcome drawn = RunCli({"--settings", saved, "--seed", "42", "-n"});
  EXPECT_EQ(rooted(drawn.out),
            "~/music/Rock/Ballad.mp3\n~/music/Jazz/Swing.mp3\n~/music/Talk/Deep/Episode 2.mp3\n"
            "~/music/Rock/Encore.mp3\n~/music/Jazz/Blue.mp3\n");
  EXPECT_EQ(rooted(drawn.err), "Would copy 5 files (0.598 MB) to ~/player\n");
  // Naming the player that takes anything changes neither the draw nor the settings.
  const Outcome anyPlayer = RunCli({"--settings", saved, "--seed", "42", "-n", "--player", "any"});
  EXPECT_EQ(anyPlayer.out, drawn.out);
  EXPECT_EQ(anyPlayer.err, drawn.err);
  ASSERT_EQ(
      RunCli({"--settings", saved, "--player", "any", "--save-settings", dir / "any.txt"}).status,
      0);
  EXPECT_EQ(ReadBytes(dir / "any.txt"), ReadBytes(saved));

  const Outcome listed =
      RunCli({"--settings", saved, "--seed", "42", "-p", dir / "mix.m3u", "--hours", "0.015"});
  EXPECT_EQ(rooted(listed.err), "Wrote a playlist of 9 files (51 s) to ~/mix.m3u\n");
  EXPECT_EQ(rooted(ReadBytes(dir / "mix.m3u")),
            "#EXTM3U\r\n"
            "#EXTINF:7,Singer - Ballad\r\n~/music/Rock/Ballad.mp3\r\n"
            "#EXTINF:8,Big Band - Swing\r\n~/music/Jazz/Swing.mp3\r\n"
            "#EXTINF:10,Host - Episode 2\r\n~/music/Talk/Deep/Episode 2.mp3\r\n"
            "#EXTINF:9,Encore\r\n~/music/Rock/Encore.mp3\r\n"
            "#EXTINF:5,Quartet - Blue\r\n~/music/Jazz/Blue.mp3\r\n"
            "#EXTINF:2,Take\r\n~/music/Jazz/Take.mp3\r\n"
            "#EXTINF:4,The Band - Anthem\r\n~/music/Rock/Anthem.mp3\r\n"
            "#EXTINF:3,Riff\r\n~/music/Rock/Riff.mp3\r\n"
            "#EXTINF:3,Bonus\r\n~/lists/../extra/Bonus.mp3\r\n");

  const Outcome copied = RunCli({"--settings", saved, "--seed", "42"});
  EXPECT_EQ(rooted(copied.err),
            "sorvina-cli: not copied, the destination has a file of that name: ~/player/Blue.mp3\n"
            "Copied 4 files (0.521 MB) to ~/player, 1 skipped\n");
  // Only the songs, as they were, and the user's file untouched: no record, no journal.
  EXPECT_THAT(
      test::NamesIn(dir / "player"),
      ::testing::ElementsAre("Ballad.mp3", "Blue.mp3", "Encore.mp3", "Episode 2.mp3", "Swing.mp3"));
  EXPECT_EQ(ReadBytes(dir / "player/Blue.mp3"), "the user's own");
  for (const char* song :
       {"Rock/Ballad.mp3", "Jazz/Swing.mp3", "Talk/Deep/Episode 2.mp3", "Rock/Encore.mp3"}) {
    const std::string source = dir / "music/" + song;
    EXPECT_EQ(ReadBytes(dir / "player/" + fs::path(source).filename().string()), ReadBytes(source));
  }
}

TEST_F(SelectionCommandTest, ProgressOnlyOnAWatchedTerminal) {
  const std::string list = dir_ / "l.m3u";
  const std::vector<std::string> arguments = {"-s", music_, "-p", list, "--all"};
  const Outcome shown = RunCli(arguments, {}, {.error = true});
  EXPECT_EQ(shown.status, 0);
  EXPECT_NE(shown.err.find("\rCreating Playlist ["), std::string::npos);
  // The line is blanked at the end, before the summary.
  const std::string summary = "Wrote a playlist of 6 files (0.00572 MB) to " + list + "\n";
  EXPECT_TRUE(shown.err.ends_with("\r" + summary)) << shown.err;

  EXPECT_EQ(RunCli({"-s", music_, "-c", dir_ / "d", "--all", "-q"}, {}, {.error = true}).err, "");
  EXPECT_EQ(RunCli(arguments).err, summary);
}

}  // namespace
}  // namespace sorvina::cli
