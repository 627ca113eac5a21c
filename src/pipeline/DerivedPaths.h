// The folders and file names derived once at start-up: where optimized copies and the report go,
// where the logs live, where the manual and the help texts are.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

namespace quillon {

// The output folder and the report name change during a run (on the worker thread) and are read
// by the window, so they are guarded; the other paths are fixed at construction.
class DerivedPaths {
  public:
    // desktopFolder: the user's desktop; dataFolder: where the help texts and the guide are;
    // tempFolder: the system's temporary folder, which holds the run logs.
    DerivedPaths(std::filesystem::path desktopFolder, std::filesystem::path dataFolder,
                 std::filesystem::path tempFolder);

    // Makes the output folder the destination's "Quillon Optimized Files" folder, unless the
    // destination already lies inside one. An empty destination changes nothing.
    void SetOutputFolder(std::string_view destination);
    // The report is named after the selection's display name: 'site' Report.html.
    void SetReportName(std::string_view displayName);

    // The output folder, always ending in a separator.
    std::string OutputFolder() const;
    std::string ReportName() const;
    std::filesystem::path GetReportPath() const;

    const std::filesystem::path& DesktopFolder() const { return desktopFolder_; }
    const std::filesystem::path& TempFolder() const { return tempFolder_; }
    const std::filesystem::path& ManualPath() const { return manualPath_; }
    const std::filesystem::path& HelpFolder() const { return helpFolder_; }

    // The output folder that start-up derives from a desktop folder: desktop/Quillon Optimized
    // Files/. The run driver uses it as the default destination too.
    static std::string DefaultOutputFolder(const std::filesystem::path& desktopFolder);

  private:
    const std::filesystem::path desktopFolder_;
    const std::filesystem::path tempFolder_;
    const std::filesystem::path manualPath_;
    const std::filesystem::path helpFolder_;

    mutable std::mutex mutex_;
    std::string outputFolder_;
    std::string reportName_;
};

// True when text contains part, with ASCII letters compared without regard to case.
bool ContainsNoCase(std::string_view text, std::string_view part);

}  // namespace quillon
