// The RAS-error section lookup: the first 4 bytes are the code looked up, the rest the file.
#include "LanguageFile.h"
#include "RasErrorTexts.h"

#include <cstring>
#include <string>

using namespace corvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 4) {
        return 0;
    }
    int32_t code;
    std::memcpy(&code, bytes, 4);
    const std::string text(reinterpret_cast<const char*>(bytes + 4), size - 4);
    CLanguageFile file(text, [](std::string_view b) { return std::wstring(b.begin(), b.end()); });
    ReadRasErrorTexts(file, code);
    std::wstring line(text.begin(), text.end());
    ParseRasErrorCode(line);
    return 0;
}
