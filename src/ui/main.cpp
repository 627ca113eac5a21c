// quillon: the desktop window.
#include "app/Platform.h"
#include "ui/QuillonApp.h"

int main(int argc, char** argv) {
    // Without a home folder the settings and the default destination would land at the root of
    // the file system.
    if (const auto problem = quillon::HomeFolderProblem()) {
        return quillon::CQuillonApp::RefuseToStart(argc, argv, *problem);
    }
    quillon::CQuillonApp application(argc, argv);
    return application.Run();
}
