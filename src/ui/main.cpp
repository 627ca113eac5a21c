// quillon: the desktop window.
#include <cstdio>

#include "app/Platform.h"
#include "ui/QuillonApp.h"

int main(int argc, char** argv) {
    // Answered before the window system starts: they need no display, and without one the start
    // of the window system would abort the program.
    if (const auto answer = quillon::CQuillonApp::CommandLineAnswer(argc, argv)) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }
    // Without a home folder the settings and the default destination would land at the root of
    // the file system.
    if (const auto problem = quillon::HomeFolderProblem()) {
        return quillon::CQuillonApp::RefuseToStart(argc, argv, *problem);
    }
    quillon::KeepFreedMemoryForReuse();
    quillon::CQuillonApp application(argc, argv);
    return application.Run();
}
