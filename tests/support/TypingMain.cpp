#include "TypingHook.h"
#include "app/CFormtidyApp.h"

// The program with the typing hook of the Wayland test: the text to type is
// the first argument.
int main(int argc, char** argv)
{
    CFormtidyApp app(argc, argv);
    TypingHook::install(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    return app.InitInstance();
}
