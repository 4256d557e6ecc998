// Corvel.exe: the application object and the entry point; everything else is in corvel_app.
#include "CorvelApp.h"

#include <windows.h>

namespace {

corvel::CCorvelApp theApp;

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    return corvel::AfxWinMain(instance, show);
}
