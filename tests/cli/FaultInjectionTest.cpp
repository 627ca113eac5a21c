// Faults injected into quillon-cli runs on real folders: a read-only destination, writes cut
// short by a file-size limit, unreadable files and folders, link loops and awkward names. In
// every case the run goes on or ends with a clear message, the originals of a copy run are byte
// for byte as they were, and after an in-place run every file holds either its old content or
// its complete new content.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "CliProcess.h"
#include "Corpus.h"
#include "TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Contents = std::map<std::string, Bytes>;  // relative path -> bytes

constexpr std::string_view kLoosePage = "<p>  a    ";
constexpr std::string_view kTightPage = "<p>a ";

// Every regular file below folder (links not followed), by path relative to it.
Contents Snapshot(const fs::path& folder) {
    Contents contents;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && !entry.is_symlink()) {
            contents[entry.path().lexically_relative(folder).string()] =
                test::ReadBytes(entry.path());
        }
    }
    return contents;
}

using test::ReadText;
using test::WriteText;

// The names the JSON summary lists under key, as bytes.
std::vector<std::string> JsonNames(const std::string& json, const char* key) {
    return test::SummaryNames(test::ParseSummary(json), key);
}

// How many pages the JSON summary counts; -1 when it names none.
long long PagesCounted(const std::string& json) {
    return test::ParseSummary(json)["pages"].toObject()["files"].toInteger(-1);
}

class FaultInjectionTest : public ::testing::Test {
  protected:
    FaultInjectionTest() {
        fs::copy(QUILLON_EXAMPLES_DIR "/site", site_, fs::copy_options::recursive);
        fs::create_directories(dir_ / "tmp");
        fs::create_directories(dir_ / "home");
        original_ = Snapshot(site_);
    }

    test::CliOutcome Run(const std::vector<std::string>& arguments, bool unprivileged = false,
                         long fileSizeLimit = 0) {
        if (unprivileged) {
            EXPECT_TRUE(test::GiveTreeToUnprivilegedUser(dir_.Path()));
        }
        test::CliLaunch launch;
        launch.arguments = arguments;
        launch.arguments.push_back("--json");
        launch.settings = dir_ / "settings.ini";
        launch.home = dir_ / "home";
        launch.tmp = dir_ / "tmp";
        launch.unprivileged = unprivileged;
        launch.fileSizeLimit = fileSizeLimit;
        return test::RunCli(launch);
    }

    // What a run without faults makes of each file of the sample site.
    Contents Optimized() {
        test::TempDir clean;
        fs::copy(QUILLON_EXAMPLES_DIR "/site", clean / "site", fs::copy_options::recursive);
        test::CliLaunch launch;
        launch.arguments = {"--in-place", "--no-backup", "-q", (clean / "site").string()};
        launch.settings = clean / "settings.ini";
        launch.home = clean.Path();
        launch.tmp = clean.Path();
        EXPECT_EQ(test::RunCli(launch).exitCode, 0);
        return Snapshot(clean / "site");
    }

    void ExpectOriginalsUnchanged() const {
        EXPECT_TRUE(Snapshot(site_) == original_) << "the run changed the site it copied";
    }

    // No file half written and no temporary file left behind: each file of the site is its old
    // content or the content a run without faults makes, and each backup is the old content.
    void ExpectEveryFileWholeInPlace(const Contents& optimized) const {
        for (const auto& [name, bytes] : Snapshot(site_)) {
            const std::string original =
                name.ends_with(".BAK") ? name.substr(0, name.size() - 4) : name;
            ASSERT_TRUE(original_.contains(original)) << "unexpected file " << name;
            if (name.ends_with(".BAK")) {
                EXPECT_TRUE(bytes == original_.at(original)) << name;
            } else {
                EXPECT_TRUE(bytes == original_.at(name) || bytes == optimized.at(name)) << name;
            }
        }
    }

    test::TempDir dir_;
    const fs::path site_ = dir_ / "site";
    const fs::path out_ = dir_ / "out";
    Contents original_;
};

TEST_F(FaultInjectionTest, ReadOnlyDestinationEndsWithAMessage) {
    const fs::path locked = dir_ / "locked";
    fs::create_directories(locked);
    ASSERT_TRUE(test::GiveTreeToUnprivilegedUser(dir_.Path()));
    fs::permissions(locked, fs::perms(0555));  // not even its owner may write into it
    const test::CliOutcome outcome = Run({"--dest", locked.string(), site_.string()}, true);
    EXPECT_EQ(outcome.exitCode, 2) << outcome.out;
    EXPECT_NE(outcome.err.find("Unable to backup file"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("The system error code is 13"), std::string::npos) << outcome.err;
    EXPECT_TRUE(fs::is_empty(locked));
    ExpectOriginalsUnchanged();
}

TEST_F(FaultInjectionTest, CopyCutShortByASizeLimitEndsAndLeavesNoPartialCopy) {
    // show.jpg (21,019 bytes) cannot be copied whole under an 8,000-byte limit.
    const test::CliOutcome outcome = Run({"--dest", out_.string(), site_.string()}, false, 8000);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_NE(outcome.err.find("Unable to backup file"), std::string::npos) << outcome.err;
    ExpectOriginalsUnchanged();
    for (const auto& [name, bytes] : Snapshot(out_ / "site")) {
        EXPECT_TRUE(bytes == original_.at(name)) << "partial or changed copy " << name;
    }
}

TEST_F(FaultInjectionTest, InPlaceWritesCutShortKeepEveryFileWholeAndNameIt) {
    const Contents optimized = Optimized();
    constexpr long kLimit = 2000;
    const test::CliOutcome outcome = Run({"--in-place", site_.string()}, false, kLimit);
    ExpectEveryFileWholeInPlace(optimized);
    // Every file that would have shrunk but is too large to back up is named, and only those.
    std::set<std::string> expected;
    for (const auto& [name, bytes] : original_) {
        if (bytes.size() > kLimit && optimized.at(name) != bytes) {
            expected.insert((site_ / name).string());
        }
    }
    const auto listed = JsonNames(outcome.out, "filesWithErrors");
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), expected) << outcome.out;
    for (const std::string& name : expected) {
        EXPECT_TRUE(test::ReadBytes(name) ==
                    original_.at(fs::path(name).lexically_relative(site_).string()));
    }
    // The report, too large for the limit, cannot be written: the run says so.
    EXPECT_EQ(outcome.exitCode, 2) << outcome.err;
    EXPECT_NE(outcome.err.find("Unable to create HTML report!"), std::string::npos) << outcome.err;
}

TEST_F(FaultInjectionTest, UnreadableFileInPlaceIsNamedAndTheRestOptimized) {
    WriteText(site_ / "private.htm", kLoosePage);
    original_ = Snapshot(site_);
    const Contents optimized = Optimized();
    ASSERT_TRUE(test::GiveTreeToUnprivilegedUser(dir_.Path()));
    fs::permissions(site_ / "private.htm", fs::perms::none);
    const test::CliOutcome outcome = Run({"--in-place", site_.string()}, true);
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_EQ(JsonNames(outcome.out, "filesWithErrors"),
              std::vector<std::string>{(site_ / "private.htm").string()});
    EXPECT_EQ(test::ReadBytes(site_ / "index.htm"), optimized.at("index.htm"));
    ExpectEveryFileWholeInPlace(optimized);
}

TEST_F(FaultInjectionTest, UnreadableFolderIsLeftOutAndNamed) {
    WriteText(site_ / "locked" / "page.htm", kLoosePage);
    original_ = Snapshot(site_);
    ASSERT_TRUE(test::GiveTreeToUnprivilegedUser(dir_.Path()));
    fs::permissions(site_ / "locked", fs::perms::none);
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "in place" : "copy");
        const std::vector<std::string> arguments =
            inPlace ? std::vector<std::string>{"--in-place", "--no-backup", site_.string()}
                    : std::vector<std::string>{"--dest", out_.string(), site_.string()};
        const test::CliOutcome outcome = Run(arguments, true);
        EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
        EXPECT_EQ(JsonNames(outcome.out, "foldersWithErrors"),
                  std::vector<std::string>{(site_ / "locked").string()});
        EXPECT_EQ(PagesCounted(outcome.out), 4) << outcome.out;
    }
    fs::permissions(site_ / "locked", fs::perms::owner_all);
    EXPECT_EQ(test::ReadBytes(site_ / "locked" / "page.htm"), original_.at("locked/page.htm"));
    EXPECT_FALSE(fs::exists(out_ / "site" / "locked"));
}

TEST_F(FaultInjectionTest, LinkLoopsEndAndStayLinks) {
    fs::create_directory_symlink(".", site_ / "loop");
    fs::create_symlink("self.htm", site_ / "self.htm");
    fs::create_symlink("pong.htm", site_ / "ping.htm");
    fs::create_symlink("ping.htm", site_ / "pong.htm");
    fs::create_symlink("missing.htm", site_ / "dangling.htm");
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "in place" : "copy");
        const std::vector<std::string> arguments =
            inPlace ? std::vector<std::string>{"--in-place", site_.string()}
                    : std::vector<std::string>{"--dest", out_.string(), site_.string()};
        const test::CliOutcome outcome = Run(arguments);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(PagesCounted(outcome.out), 4) << outcome.out;
        for (const char* link : {"loop", "self.htm", "ping.htm", "pong.htm", "dangling.htm"}) {
            EXPECT_TRUE(fs::is_symlink(site_ / link)) << link;
        }
    }
}

TEST_F(FaultInjectionTest, SummaryOrSettingsThatCannotBeWrittenExitFour) {
    WriteText(dir_ / "blocker", "a file where a folder should be");
    fs::create_directories(dir_ / "locked");
    struct Row {
        const char* what;
        bool json;
        fs::path stdoutFile;
        fs::path settings;
        bool unprivileged;
        const char* message;
    };
    const Row rows[] = {
        {"JSON summary to a full device", true, "/dev/full", dir_ / "settings.ini", false,
         "quillon-cli: could not write the summary to standard output: No space left on device"},
        {"text summary to a full device", false, "/dev/full", dir_ / "settings.ini", false,
         "quillon-cli: could not write the summary to standard output: No space left on device"},
        {"settings below a file",
         true,
         {},
         dir_ / "blocker" / "settings.ini",
         false,
         "is not a folder"},
        // Last: the tree then belongs to the unprivileged user.
        {"settings in a read-only folder",
         true,
         {},
         dir_ / "locked" / "settings.ini",
         true,
         "Permission denied"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.unprivileged) {
            ASSERT_TRUE(test::GiveTreeToUnprivilegedUser(dir_.Path()));
            fs::permissions(dir_ / "locked", fs::perms(0555));
        }
        test::CliLaunch launch;
        launch.arguments = {"--dest", out_.string(), site_.string()};
        if (row.json) {
            launch.arguments.insert(launch.arguments.begin(), "--json");
        }
        launch.settings = row.settings;
        launch.stdoutFile = row.stdoutFile;
        launch.home = dir_ / "home";
        launch.tmp = dir_ / "tmp";
        launch.unprivileged = row.unprivileged;
        const test::CliOutcome outcome = test::RunCli(launch);
        EXPECT_EQ(outcome.exitCode, 4) << outcome.err;
        EXPECT_NE(outcome.err.find(row.message), std::string::npos) << outcome.err;
        if (row.stdoutFile.empty()) {
            EXPECT_NE(outcome.err.find("could not be saved in '" + row.settings.string() + "'"),
                      std::string::npos)
                << outcome.err;
            EXPECT_EQ(PagesCounted(outcome.out), 4) << "the run itself finished";
        }
    }
    ExpectOriginalsUnchanged();
}

// Names a shell, a log line or a web page could take apart.
const char* const kAwkwardNames[] = {
    "with space.htm",
    "double\"quote.htm",
    "single'quote.htm",
    "new\nline.htm",
    "tab\there.htm",
    "<angle>&amp.htm",
    "\xC3\xBCnic\xC3\xB6"
    "de.htm",
    "\xE6\x97\xA5\xE6\x9C\xAC.htm",
    "sub dir/'quoted' \"folder\"/page.htm",
};

TEST_F(FaultInjectionTest, AwkwardNamesAreOptimizedBackedUpReportedAndNamed) {
    for (const char* name : kAwkwardNames) {
        WriteText(site_ / name, kLoosePage);
    }
    WriteText(site_ / "not a\n\"gif\".gif", "<html>not a picture</html>");
    original_ = Snapshot(site_);
    const test::CliOutcome outcome = Run({"--dest", out_.string(), site_.string()});
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    ExpectOriginalsUnchanged();
    for (const char* name : kAwkwardNames) {
        EXPECT_EQ(test::ReadBytes(out_ / "site" / name),
                  Bytes(kTightPage.begin(), kTightPage.end()))
            << name;
    }
    EXPECT_EQ(JsonNames(outcome.out, "filesWithErrors"),
              std::vector<std::string>{(out_ / "site" / "not a\n\"gif\".gif").string()});
    const std::string report = ReadText(out_ / "Quillon Optimized Files" / "'site' Report.html");
    // Escaped for the page; the report's layout pass turns the tab into a space, as a browser
    // shows it anyway.
    for (const char* row : {"double&quot;quote.htm", "&lt;angle&gt;&amp;amp.htm", "tab here.htm",
                            "new\nline.htm", "single&#39;quote.htm"}) {
        EXPECT_NE(report.find(row), std::string::npos) << row;
    }

    // In place, each gets its backup beside it.
    EXPECT_EQ(Run({"--in-place", site_.string()}).exitCode, 1);
    for (const char* name : kAwkwardNames) {
        EXPECT_EQ(ReadText(site_ / name), kTightPage) << name;
        EXPECT_EQ(ReadText(site_ / (std::string(name) + ".BAK")), kLoosePage) << name;
    }
}

}  // namespace
}  // namespace quillon
