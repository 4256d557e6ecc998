#pragma once
// The scripted stand-in for rasapi32.dll: its script and its call log.
//
// The DLL is a test fixture, never shipped. Put rasapi32.dll in the folder of the program under
// test and make Wine prefer it (WINEDLLOVERRIDES=rasapi32=n, or for a service
// HKCU\Software\Wine\DllOverrides rasapi32=native,builtin). A service gets no environment from
// the test, so both files live next to the DLL itself (the folder of its own module):
//
//   fakeras.script   read afresh by every call; a missing file means all defaults.
//   fakeras.log      every call appended as one line, UTF-8, opened and closed per line, so a
//                    test may read it at any time.
//
// Script: one "key=value" per line; blank lines and lines starting with '#' are ignored, as is
// an unknown key. Numbers are decimal (or 0x hexadecimal).
//   outcome=connect | error | never   what the dial comes to (default connect)
//   callbacks=N        the outcome comes with callback N (N >= 1, default 1); callbacks 1..N-1
//                      report progress states (RASCS_OpenPort, RASCS_PortOpened, ...) with error 0;
//                      with outcome=never, N progress callbacks come and then nothing
//   error=E            outcome=error: the RAS error of callback N (default 691)
//   interval_ms=M      pause before each callback (default 100)
//   drop_after_ms=T    outcome=connect: the connection drops by itself T ms after the connected
//                      callback (its disconnection events are signalled); absent: never
//   outcome_event=NAME the outcome's callback N comes only once the named event (which the test
//                      creates) is set, after its interval; progress callbacks do not wait
//   drop_event=NAME    outcome=connect: the connection drops once the named event is set (then
//                      drop_after_ms more, default 0)
// A named event that cannot be opened at RasDialW waits for nothing; the RasDialW line then
// says gates=missing.
//   dial_result=R      RasDialW returns R at once (default 0); when R is not 0 no callback comes
//                      and no handle is returned
//   setentry_result=R      result of RasSetEntryPropertiesW (default 0)
//   setcredentials_result=R result of RasSetCredentialsW (default 0)
//   hangup_result=R        result of RasHangUpW (default 0)
//   deleteentry_result=R   result of RasDeleteEntryW (default 0)
//
// Callbacks come from a thread of the DLL's own, never from the thread that called RasDialW,
// as with the system's RAS. Notifier types 0 (RASDIALFUNC), 1 (RASDIALFUNC1) and 2
// (RASDIALFUNC2, with the dwCallbackId of the dial parameters) are supported. RasHangUpW
// stops the callbacks of its connection and signals its disconnection events.
//
// Log: one line per event, the event name, then tab-separated "key=value" fields (values are
// never quoted and hold no tab):
//   RasSetEntryPropertiesW  phonebook entry size options options2 type strategy netprotocols
//                           framing encryption phone ipaddr dns devicetype devicename result
//   RasSetCredentialsW      phonebook entry size mask psk clear result
//   RasDialW                phonebook entry size user password notifier callbackid handle result
//                           [gates=missing]
//   Callback                handle state error
//   RasConnectionNotificationW  handle flags result
//   Drop                    handle
//   RasHangUpW              handle result
//   RasDeleteEntryW         phonebook entry result
// "phonebook" is "default" for a NULL phonebook; numbers of options, masks and states are
// 0x-hexadecimal, other numbers decimal; addresses dotted decimal in memory order; a handle is
// a small number (1, 2, ...) counted from the DLL's load.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

namespace corvel::fakeras {

inline constexpr wchar_t kScriptFileName[] = L"fakeras.script";
inline constexpr wchar_t kLogFileName[] = L"fakeras.log";

enum class DialOutcome { Connect, Error, Never };

struct FakeRasScript {
    DialOutcome Outcome = DialOutcome::Connect;
    uint32_t Callbacks = 1;
    uint32_t Error = 691;
    uint32_t IntervalMs = 100;
    bool Drops = false;
    uint32_t DropAfterMs = 0;
    uint32_t DialResult = 0;
    uint32_t SetEntryResult = 0;
    uint32_t SetCredentialsResult = 0;
    uint32_t HangUpResult = 0;
    uint32_t DeleteEntryResult = 0;
    std::string OutcomeEvent;
    std::string DropEvent;

    static FakeRasScript Parse(std::string_view text) {
        FakeRasScript s;
        while (!text.empty()) {
            const size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
                line.remove_suffix(1);
            while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
                line.remove_prefix(1);
            const size_t eq = line.find('=');
            if (line.empty() || line.front() == '#' || eq == std::string_view::npos)
                continue;
            std::string_view key = line.substr(0, eq);
            std::string_view rest = line.substr(eq + 1);
            while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
                key.remove_suffix(1);
            while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
                rest.remove_prefix(1);
            const std::string value(rest);
            const uint32_t number = uint32_t(std::strtoul(value.c_str(), nullptr, 0));
            if (key == "outcome")
                s.Outcome = value == "error"   ? DialOutcome::Error
                            : value == "never" ? DialOutcome::Never
                                               : DialOutcome::Connect;
            else if (key == "callbacks")
                s.Callbacks = number == 0 ? 1 : number;
            else if (key == "error")
                s.Error = number;
            else if (key == "interval_ms")
                s.IntervalMs = number;
            else if (key == "drop_after_ms") {
                s.Drops = true;
                s.DropAfterMs = number;
            } else if (key == "dial_result")
                s.DialResult = number;
            else if (key == "setentry_result")
                s.SetEntryResult = number;
            else if (key == "setcredentials_result")
                s.SetCredentialsResult = number;
            else if (key == "hangup_result")
                s.HangUpResult = number;
            else if (key == "deleteentry_result")
                s.DeleteEntryResult = number;
            else if (key == "outcome_event")
                s.OutcomeEvent = value;
            else if (key == "drop_event") {
                s.Drops = true;
                s.DropEvent = value;
            }
        }
        return s;
    }
};

// One line of the log: its event name and its fields.
struct FakeRasLogLine {
    std::string Event;
    std::map<std::string, std::string> Fields;

    std::string Get(const std::string& key) const {
        const auto it = Fields.find(key);
        return it == Fields.end() ? std::string() : it->second;
    }
    uint32_t Number(const std::string& key) const {
        return uint32_t(std::strtoul(Get(key).c_str(), nullptr, 0));
    }

    static FakeRasLogLine Parse(std::string_view line) {
        FakeRasLogLine l;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.remove_suffix(1);
        size_t tab = line.find('\t');
        l.Event = std::string(line.substr(0, tab));
        while (tab != std::string_view::npos) {
            line = line.substr(tab + 1);
            tab = line.find('\t');
            const std::string_view field = line.substr(0, tab);
            const size_t eq = field.find('=');
            if (eq != std::string_view::npos)
                l.Fields[std::string(field.substr(0, eq))] = std::string(field.substr(eq + 1));
        }
        return l;
    }
};

} // namespace corvel::fakeras
