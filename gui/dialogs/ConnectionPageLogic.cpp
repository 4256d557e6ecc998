#include "ConnectionPageLogic.h"

namespace corvel {

int ConnectionIndexOfRadio(unsigned id) {
    for (size_t i = 0; i < kConnectionControls.size(); ++i) {
        if (kConnectionControls[i].Radio == id)
            return int(i);
    }
    return -1;
}

bool CConnectionStates::Show(int up, int index) {
    if (!IsConnectionIndex(index))
        return false;
    ConnectedFlag = up;
    if (up != 0)
        ActiveIndex = index;
    StateTextIds.fill(kTextConnectionDown);
    if (ConnectedFlag != 0)
        StateTextIds[size_t(index)] = kTextConnectionUp;
    return true;
}

COpeningView DecideOpeningView(bool connectionUp, int activeIndex) {
    COpeningView view;
    if (!connectionUp || !IsConnectionIndex(activeIndex))
        return view;
    view.SelectedIndex = activeIndex;
    view.ShowUp = true;
    view.ButtonTextId = kTextDisconnectButton;
    view.Input = DecideConnectionInput(true, activeIndex);
    return view;
}

CInputEnabling DecideConnectionInput(bool up, int activeIndex) {
    CInputEnabling input;
    if (!up)
        return input;
    input.SettingPagesEnabled = false;
    // ActiveIndex is only ever set in range; another value leaves the radio buttons as for down.
    if (IsConnectionIndex(activeIndex))
        input.OnlyRadio = activeIndex;
    return input;
}

} // namespace corvel
