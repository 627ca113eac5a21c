// quillon: the desktop window.
#include "ui/QuillonApp.h"

int main(int argc, char** argv) {
    quillon::CQuillonApp application(argc, argv);
    return application.Run();
}
