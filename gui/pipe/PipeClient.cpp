#include "PipeClient.h"

#include "PipeClientOpen.h"

namespace corvel {

DWORD OpenServicePipe(UniqueFile& pipe) {
    return OpenPipeClient(kServicePipeName, GENERIC_READ | GENERIC_WRITE, TrayPipePolicy(), pipe);
}

} // namespace corvel
