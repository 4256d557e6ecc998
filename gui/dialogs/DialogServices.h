#pragma once
// The dialogs' side of the main frame's services, usable before a frame has registered
// (tests, or a dialog run during the frame's own creation): then no "language.csv" is read,
// the UiTexts are the built-in ones and busy flags go nowhere.
#include <string>

namespace corvel {

const std::wstring& DialogLanguagePath();
std::wstring DialogUiText(unsigned id);
void DialogSetBusyFlag(unsigned flag, bool busy);

} // namespace corvel
