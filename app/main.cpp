#include "app/CFormtidyApp.h"

int main(int argc, char** argv)
{
    CFormtidyApp app(argc, argv);
    return app.InitInstance();
}
