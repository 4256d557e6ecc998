#include "SvcMain.h"

int wmain() {
    static wchar_t serviceName[] = L"CORVELSVC";
    SERVICE_TABLE_ENTRYW table[] = {{serviceName, corvel::ServiceMain}, {nullptr, nullptr}};
    // Outside the service control manager this fails at once, and the program ends.
    ::StartServiceCtrlDispatcherW(table);
    return 0;
}
