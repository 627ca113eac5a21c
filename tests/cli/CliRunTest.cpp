// quillon-cli end to end, as a build pipeline runs it: a real process on a copy of the sample
// site, with settings, logs and desktop of its own.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "Corpus.h"
#include "TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

class CliRunTest : public ::testing::Test {
  protected:
    CliRunTest() {
        fs::copy(QUILLON_EXAMPLES_DIR "/site", site_, fs::copy_options::recursive);
        fs::create_directories(dir_ / "tmp");
        fs::create_directories(dir_ / "home");
    }

    test::CliLaunch Launch(const std::vector<std::string>& arguments) const {
        test::CliLaunch launch;
        launch.arguments = arguments;
        launch.settings = dir_ / "settings.ini";
        launch.home = dir_ / "home";
        launch.tmp = dir_ / "tmp";
        return launch;
    }

    test::CliOutcome RunCli(const std::vector<std::string>& arguments,
                            bool interruptAfterFirstFile = false) {
        test::CliLaunch launch = Launch(arguments);
        launch.interruptAfterFirstFile = interruptAfterFirstFile;
        return test::RunCli(launch);
    }

    // The figures of one type from the JSON summary: files, bytes before, bytes after.
    static std::vector<long> Figures(const std::string& json, const char* type) {
        const QJsonObject figures = test::ParseSummary(json)[type].toObject();
        std::vector<long> values;
        for (const char* key : {"files", "bytesBefore", "bytesAfter"}) {
            values.push_back(figures[key].toInteger(-1));
        }
        return values;
    }

    static long SizeOf(const fs::path& folder, const std::vector<std::string>& extensions) {
        long total = 0;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            const std::string extension = entry.path().extension().string();
            if (entry.is_regular_file() &&
                std::find(extensions.begin(), extensions.end(), extension) != extensions.end()) {
                total += static_cast<long>(entry.file_size());
            }
        }
        return total;
    }

    test::TempDir dir_;
    const fs::path site_ = dir_ / "site";
    const fs::path out_ = dir_ / "out";
};

TEST_F(CliRunTest, JsonFiguresMatchTheFilesOnDisk) {
    const long pagesBefore = SizeOf(site_, {".htm", ".html", ".shtml", ".txt"});
    const long jpegsBefore = SizeOf(site_, {".jpg"});
    const test::CliOutcome outcome = RunCli({"--dest", out_.string(), "--json", site_.string()});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;

    const fs::path copy = out_ / "site";
    EXPECT_EQ(
        Figures(outcome.out, "pages"),
        (std::vector<long>{4, pagesBefore, SizeOf(copy, {".htm", ".html", ".shtml", ".txt"})}));
    EXPECT_EQ(Figures(outcome.out, "jpegs"),
              (std::vector<long>{3, jpegsBefore, SizeOf(copy, {".jpg"})}));
    EXPECT_LT(SizeOf(copy, {".htm", ".html", ".shtml", ".txt"}), pagesBefore);
    const QJsonObject summary = test::ParseSummary(outcome.out);
    // The keys build pipelines read (Qt lists them sorted).
    EXPECT_EQ(summary.keys(),
              QStringList({"cancelled", "errorLog", "filesWithErrors", "foldersWithErrors", "gifs",
                           "jpegs", "pages", "percentFaster", "percentSmaller", "report",
                           "secondsSaved", "selection", "total"}));
    EXPECT_EQ(summary["filesWithErrors"], QJsonArray()) << outcome.out;
    EXPECT_EQ(summary["report"].toString().toStdString(),
              (out_ / "Quillon Optimized Files" / "'site' Report.html").string());
    EXPECT_TRUE(fs::exists(out_ / "Quillon Optimized Files" / "'site' Report.html"));
}

TEST_F(CliRunTest, InPlaceWithoutBackupsRewritesTheOriginals) {
    const auto before = test::ReadBytes(site_ / "index.htm");
    ASSERT_EQ(RunCli({"--in-place", "--no-backup", "-q", site_.string()}).exitCode, 0);
    EXPECT_LT(test::ReadBytes(site_ / "index.htm").size(), before.size());
    EXPECT_FALSE(fs::exists(site_ / "index.htm.BAK"));
}

// Without a terminal an existing copy is numbered, never overwritten; --on-exists cancel ends the
// run as cancelled before anything is copied.
TEST_F(CliRunTest, ExistingCopyIsNumberedOrTheRunCancelled) {
    ASSERT_EQ(RunCli({"--dest", out_.string(), "-q", site_.string()}).exitCode, 0);
    const test::CliOutcome cancelled =
        RunCli({"--dest", out_.string(), "--on-exists", "cancel", "-q", site_.string()});
    EXPECT_EQ(cancelled.exitCode, 3);
    EXPECT_FALSE(fs::exists(out_ / "site1"));
    const test::CliOutcome second = RunCli({"--dest", out_.string(), site_.string()});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_TRUE(fs::exists(out_ / "site1" / "index.htm"));
    EXPECT_NE(second.out.find("'site1' Report.html"), std::string::npos) << second.out;
}

TEST_F(CliRunTest, CtrlCStopsTheRunButStillWritesTheReport) {
    // Enough pages that the run is still going when the signal arrives.
    for (int i = 0; i < 3000; ++i) {
        std::ofstream(site_ / ("page" + std::to_string(i) + ".htm"))
            << "<p>  page   " << i << "  </p>\n\n\n";
    }
    const test::CliOutcome outcome =
        RunCli({"--dest", out_.string(), "--json", site_.string()}, true);
    EXPECT_EQ(outcome.exitCode, 3) << outcome.err;
    EXPECT_EQ(test::ParseSummary(outcome.out)["cancelled"], true) << outcome.out;
    EXPECT_TRUE(fs::exists(out_ / "Quillon Optimized Files" / "'site' Report.html"));
    const long pages = Figures(outcome.out, "pages")[0];
    EXPECT_GE(pages, 0) << outcome.out;
    EXPECT_LT(pages, 3004) << "the run stopped before the end of the list";
}

// Without a terminal each file gets a progress line naming it. A page holding a 0 byte goes
// through no pass, and the line after it used to name it again instead of the next file.
TEST_F(CliRunTest, EachProgressLineNamesItsOwnFile) {
    const fs::path folder = dir_ / "pages";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a.htm", std::string("<p>a\0b</p>", 10)},
        {"b.htm", "<p>  b  </p>"},
        {"c.htm", std::string("\xff\xfe<\0p\0>\0", 8)},
        {"d.html", "<p>  d  </p>"},
    };
    std::vector<std::string> expectedNames;
    std::string expectedCounts;
    for (std::size_t k = 0; k < files.size(); ++k) {
        test::WriteText(folder / files[k].first, files[k].second);
        expectedNames.push_back("pages/" + files[k].first);
        expectedCounts += std::to_string(k + 1) + "/" + std::to_string(files.size()) + " ";
    }
    const test::CliOutcome outcome = RunCli({"--dest", out_.string(), folder.string()});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    // The files come in the folder's order: the counts run in order, and every file is named
    // once.
    const std::regex progressLine("^(\\d+/\\d+) (.*)$", std::regex::multiline);
    std::vector<std::string> shownNames;
    std::string shownCounts;
    for (std::sregex_iterator it(outcome.err.begin(), outcome.err.end(), progressLine), end;
         it != end; ++it) {
        shownCounts += (*it)[1].str() + " ";
        shownNames.push_back((*it)[2].str());
    }
    std::sort(shownNames.begin(), shownNames.end());
    EXPECT_EQ(shownCounts, expectedCounts) << outcome.err;
    EXPECT_EQ(shownNames, expectedNames) << outcome.err;
}

// How many files are worked on at once changes nothing but the time: on a site of every kind,
// damaged files among them, one file at a time and four at once give the same bytes on disk, the
// same summary and the same report (its date aside), files and errors in the same order.
TEST_F(CliRunTest, FilesAtOnceChangeNothingButTheTime) {
    for (const char* folder : {"html", "gif", "jpeg", "gif/malformed", "jpeg/malformed"}) {
        fs::create_directories(site_ / folder);
        for (const fs::path& file : test::CorpusFiles(folder, {".htm", ".html", ".gif", ".jpg"})) {
            fs::copy_file(file, site_ / folder / file.filename());
        }
    }
    const auto run = [this](const char* jobs, const fs::path& destination) {
        const test::CliOutcome outcome =
            RunCli({"--jobs", jobs, "--dest", destination.string(), "--json", site_.string()});
        EXPECT_EQ(outcome.exitCode, 1) << outcome.err;  // the damaged files are logged
        QJsonObject summary = test::ParseSummary(outcome.out);
        const std::string copy = (destination / "site").string();
        QJsonArray files;
        for (std::string name : test::SummaryNames(summary, "filesWithErrors")) {
            files.append(QString::fromStdString(name.replace(0, copy.size(), "COPY")));
        }
        summary["filesWithErrors"] = files;
        for (const char* key : {"report", "errorLog"}) {
            summary.remove(key);
        }
        std::ifstream in(destination / "Quillon Optimized Files" / "'site' Report.html");
        std::string report(std::istreambuf_iterator<char>(in), {});
        report = std::regex_replace(report, std::regex("Created on [^<]*"), "");
        return std::make_pair(summary, report);
    };
    const auto [oneSummary, oneReport] = run("1", dir_ / "one");
    const auto [fourSummary, fourReport] = run("4", dir_ / "four");
    EXPECT_EQ(oneSummary, fourSummary);
    EXPECT_GT(oneSummary["filesWithErrors"].toArray().size(), 1);
    EXPECT_EQ(oneReport, fourReport);
    EXPECT_NE(oneReport.find("<td"), std::string::npos);
    for (const auto& entry : fs::recursive_directory_iterator(dir_ / "one" / "site")) {
        const fs::path other =
            dir_ / "four" / "site" / entry.path().lexically_relative(dir_ / "one" / "site");
        if (entry.is_regular_file()) {
            EXPECT_EQ(test::ReadBytes(entry.path()), test::ReadBytes(other)) << other;
        }
    }
}

TEST_F(CliRunTest, MissingSelectionExitsTwo) {
    EXPECT_EQ(RunCli({(dir_ / "missing").string()}).exitCode, 2);
}

TEST_F(CliRunTest, SettingsFileThatIsNoSettingsFileIsRefusedAndLeftAlone) {
    const std::string page =
        "<!DOCTYPE html>\n<html><body><p class=x>Club news</p></body></html>\n";
    test::WriteText(dir_ / "settings.ini", page);
    const test::CliOutcome outcome = RunCli({"--dest", out_.string(), "-q", site_.string()});
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_NE(outcome.err.find("is not a settings file: line 1"), std::string::npos) << outcome.err;
    EXPECT_EQ(test::ReadText(dir_ / "settings.ini"), page);
    EXPECT_FALSE(fs::exists(out_)) << "the run must not start";
}

// The summary is JSON for Python's json module, which insists on UTF-8, whatever the names and
// the locale: a locale with a decimal comma once made the figures "27,8". Each name keeps its
// bytes: os.fsencode turns every \udcXX back into its byte.
TEST_F(CliRunTest, JsonSummaryIsValidAndKeepsTheBytesOfEveryName) {
    // A Latin-1 folder name and a byte no text encoding uses; a file name with a quote, control
    // characters and a sequence cut short.
    const std::string name = "caf\xE9 \xFF";
    const std::string broken = "bad \"\x01\xFF\xC3\n.gif";
    const fs::path odd = dir_ / name;
    fs::rename(site_, odd);
    test::WriteText(odd / broken, "<html>not a picture</html>");
    const fs::path locales = dir_ / "locales";
    fs::create_directories(locales);
    ASSERT_EQ(test::RunProgram(
                  {"localedef", "-i", "de_DE", "-f", "UTF-8", (locales / "de_DE.UTF-8").string()})
                  .exitCode,
              0);
    const test::Environment german = {{"LOCPATH", locales.string()}, {"LC_ALL", "de_DE.UTF-8"}};
    ASSERT_EQ(test::RunProgram({"python3", "-c",
                                "import locale\n"
                                "locale.setlocale(locale.LC_ALL, '')\n"
                                "assert locale.localeconv()['decimal_point'] == ','\n"},
                               german)
                  .exitCode,
              0)
        << "the locale does not write a decimal comma";

    test::CliLaunch launch = Launch({"--dest", out_.string(), "--json", odd.string()});
    launch.environment = german;
    const test::CliOutcome outcome = test::RunCli(launch);
    ASSERT_EQ(outcome.exitCode, 1) << outcome.err;
    test::WriteText(dir_ / "summary.json", outcome.out);

    const test::CliOutcome decoded = test::RunProgram(
        {"python3", "-X", "utf8", "-c",
         "import json, os, sys\n"
         "summary = json.load(open(sys.argv[1], encoding='utf-8'))\n"
         "assert summary['percentSmaller'] > 0\n"
         "for name in [summary['selection'], summary['report']] + summary['filesWithErrors']:\n"
         "    print(os.fsencode(name).hex())\n",
         (dir_ / "summary.json").string()});
    ASSERT_EQ(decoded.exitCode, 0) << decoded.err << outcome.out;
    const auto hex = [](const fs::path& path) {
        std::string digits;
        for (const unsigned char byte : path.string()) {
            const char* const kDigits = "0123456789abcdef";
            digits += kDigits[byte >> 4];
            digits += kDigits[byte & 15];
        }
        return digits + "\n";
    };
    EXPECT_EQ(decoded.out,
              hex(odd) + hex(out_ / "Quillon Optimized Files" / ("'" + name + "' Report.html")) +
                  hex(out_ / name / broken));
}

// Below a HOME that is no absolute path, the settings, the copy and the report would land
// wherever the program was started (Platform.HomeMustBeAnAbsolutePath has every kind).
TEST_F(CliRunTest, WithoutAHomeFolderNothingStarts) {
    test::CliLaunch launch = Launch({"--dest", out_.string(), "-q", site_.string()});
    launch.home = "home";
    const test::CliOutcome outcome = test::RunCli(launch);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_NE(outcome.err.find("quillon-cli: HOME is not set"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("Set HOME to your home folder"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "settings.ini"));
    EXPECT_FALSE(fs::exists(out_));
}

}  // namespace
}  // namespace quillon
