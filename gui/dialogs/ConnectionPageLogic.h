#pragma once
// What the connection page (tab 0 of the settings dialog) shows without a window: which radio
// button and state label belong to a connection, the state labels, the text of its button and
// which radio buttons and setting pages take input while a connection is up.
#include <array>
#include <cstddef>

namespace corvel {

inline constexpr unsigned kTextConnectionUp = 201;     // "接続中"
inline constexpr unsigned kTextConnectionDown = 202;   // "未接続"
inline constexpr unsigned kTextDisconnectButton = 203; // "切断"
inline constexpr unsigned kTextConnectButton = 204;    // "接続"

struct CConnectionControlIds {
    unsigned Radio;
    unsigned StateLabel;
};

// By VpnIndex: the radio group runs in this order from 1041, so a radio's position in the
// group is its connection.
inline constexpr std::array<CConnectionControlIds, 20> kConnectionControls = {{
    {1041, 1072}, {1069, 1073}, {1070, 1074}, {1071, 1075}, {1077, 1078}, {1042, 1082}, {1079, 1083},
    {1080, 1084}, {1081, 1085}, {1086, 1087}, {1043, 1091}, {1088, 1092}, {1089, 1093}, {1090, 1094},
    {1095, 1096}, {1044, 1100}, {1097, 1101}, {1098, 1102}, {1099, 1103}, {1104, 1105},
}};

inline constexpr bool IsConnectionIndex(int index) {
    return index >= 0 && index < int(kConnectionControls.size());
}
// The connection of a radio button; -1 for any other control.
int ConnectionIndexOfRadio(unsigned id);

// The members ShowConnectionStates writes.
struct CConnectionStates {
    int ActiveIndex = 0;   // the connection last shown as up
    int ConnectedFlag = 0; // a connection is shown as up (state 1 and 2 alike)
    std::array<unsigned, 20> StateTextIds{};

    CConnectionStates() { StateTextIds.fill(kTextConnectionDown); }

    // An index outside 0 to 19 changes nothing (false: the controls need no update either).
    // Otherwise every label reads 202 but the index's, which reads 201 while up; ActiveIndex
    // follows only an up.
    bool Show(int up, int index);

    // The button offers 203 only on the connection that is up, 204 anywhere else.
    unsigned ButtonTextId(int selectedIndex) const {
        return ConnectedFlag != 0 && ActiveIndex == selectedIndex ? kTextDisconnectButton
                                                                  : kTextConnectButton;
    }
};

// Which radio buttons and setting pages take input.
struct CInputEnabling {
    int OnlyRadio = -1;              // EnableOnlyRadio with this index; -1: EnableAllRadios
    bool SettingPagesEnabled = true; // EnableSettingControls on the 20 setting pages
    bool RadioEnabled(int index) const { return OnlyRadio < 0 || index == OnlyRadio; }
};

// The dialog's opening with a connection up (or connecting) at `activeIndex`, or none: the
// connection selected, whether it is shown up, the button text and the input.
struct COpeningView {
    int SelectedIndex = 0;
    bool ShowUp = false; // ShowConnectionStates(1, SelectedIndex)
    unsigned ButtonTextId = kTextConnectButton;
    CInputEnabling Input;
};
// An up flag with an index outside 0 to 19 names no connection: it opens as with none up.
COpeningView DecideOpeningView(bool connectionUp, int activeIndex);

// The dialog's WM_SET_TRAY_ICON from the page: up leaves only the active connection's radio
// and no setting page enabled; down enables all of them (and clears LaunchedWithVpn).
CInputEnabling DecideConnectionInput(bool up, int activeIndex);

} // namespace corvel
