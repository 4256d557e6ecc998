#include "ConsoleCommands.h"

#include "ExitCodes.h"
#include "FixedString.h"

namespace corvel::cli {

namespace {

uint32_t SendNotify(CServicePipe& pipe, CCommandHost& host) {
    return SendVpnNotify(pipe, host, 0, ConnectStatus::Disconnected, 1);
}

// Ends whichever connection is active and makes the tray program quit. Only the open is looked
// at: the notification's own result changes nothing.
uint32_t SendDisconnectNotification(CCommandHost& host) {
    std::unique_ptr<CServicePipe> pipe;
    if (uint32_t rc = host.OpenServicePipe(pipe))
        return rc;
    if (!pipe)
        return ExitCode::InternalError;
    SendNotify(*pipe, host);
    return ExitCode::Success;
}

// `code` once the attempt has been ended, or the open's error when it could not be.
uint32_t EndAttempt(CCommandHost& host, uint32_t code) {
    if (uint32_t rc = SendDisconnectNotification(host))
        return rc;
    return code;
}

uint32_t StoreCredentials(CCommandHost& host, uint8_t vpnIndex, const std::u16string& userName,
                          const std::u16string& password) {
    return WithServicePipe(
        host, [&](CServicePipe& pipe) { return SendSaveCredentials(pipe, vpnIndex, userName, password); });
}

// Called right after the connect reply: the wait's time is counted from there.
uint32_t PollForOutcome(const CommandLineOptions& options, CCommandHost& host) {
    const uint64_t deadline = host.NowMs() + kPollWaitMs;
    for (unsigned poll = 1;; ++poll) {
        // Every 500 ms, the last pause cut to the deadline so that its poll is not late.
        const uint64_t now = host.NowMs();
        const uint64_t left = now < deadline ? deadline - now : 0;
        if (left != 0)
            host.Sleep(uint32_t(left < kPollIntervalMs ? left : kPollIntervalMs));
        uint8_t state = ConnectStatus::Disconnected;
        const uint32_t queryResult = WithServicePipe(
            host, [&](CServicePipe& pipe) { return QueryVpnState(pipe, options.VpnIndex, state); });
        if (queryResult != 0)
            state = ConnectStatus::Disconnected;
        // Whatever this poll read, also 1: the time is up.
        if (host.NowMs() >= deadline)
            return EndAttempt(host, ExitCode::WaitTimeout);
        if (state == ConnectStatus::Connecting)
            continue;
        if (state == ConnectStatus::Connected)
            return ExitCode::Success;
        // A failed query leaves the attempt to the service: no notification.
        if (queryResult != 0)
            return queryResult;
        // State 0, or a value outside 0 to 2 read as 0. A failed RAS-error query reads as none.
        uint32_t rasError = 0;
        if (WithServicePipe(host, [&](CServicePipe& pipe) { return QueryRasErr(pipe, rasError); }) != 0)
            rasError = 0;
        if (rasError == 0 && poll <= kGracePolls)
            continue;
        return EndAttempt(host, rasError != 0 ? rasError : ExitCode::NetworkAccessDenied);
    }
}

uint32_t WaitInConnectingDialog(const CommandLineOptions& options, const VPNCONFIG& config,
                                CCommandHost& host) {
    ConnectingDialogData data;
    data.Name = FixedToString(config.Name);
    data.VpnIndex = options.VpnIndex;
    data.LanguagePath = options.LanguagePath;
    const ConnectingDialogResult result = host.RunConnectingDialog(data);
    switch (result.End) {
    case DialogEnd::Ok:
        return ExitCode::Success;
    case DialogEnd::Cancel:
        return EndAttempt(host, result.CloseCode != 0 ? result.CloseCode : ExitCode::Cancelled);
    case DialogEnd::NotCreated:
        break;
    }
    return EndAttempt(host, ExitCode::InternalError);
}

} // namespace

bool GuiMutexPresent(uint32_t openResult) {
    return openResult == 0 || openResult == ExitCode::AccessDenied;
}

uint32_t RunCommandLine(CommandLineOptions& options, int argc, const wchar_t* const* argv,
                        CCommandHost& host) {
    if (uint32_t rc = ParseCommandLine(options, argc, argv))
        return rc;
    if (options.GetCommand() != CommandWord::Disconnect && GuiMutexPresent(host.OpenGuiMutex()))
        return ExitCode::RequestAborted;
    return RunCommand(options, host);
}

uint32_t RunCommand(CommandLineOptions& options, CCommandHost& host) {
    switch (options.GetCommand()) {
    case CommandWord::Disconnect:
        return DisconnectCommand(options, host);
    case CommandWord::Connect:
        return ConnectCommand(options, host);
    case CommandWord::None:
        break;
    }
    return ExitCode::InternalError;
}

uint32_t ConnectCommand(CommandLineOptions& options, CCommandHost& host) {
    VPNCONFIG config;
    if (uint32_t rc = WithServicePipe(
            host, [&](CServicePipe& pipe) { return LoadVpnConfig(pipe, options.VpnIndex, config); }))
        return rc;

    if (options.IdPassOption) {
        if (uint32_t rc = StoreCredentials(host, options.VpnIndex, options.UserName, options.Password))
            return rc;
    } else {
        options.UserName = FixedToString(config.UserName);
        options.Password = FixedToString(config.Password);
        if (options.WinOption) {
            CredentialsDialogData dialog;
            dialog.Name = FixedToString(config.Name);
            dialog.UserName = options.UserName;
            dialog.Password = options.Password;
            dialog.SaveCredentials = !options.UserName.empty() || !options.Password.empty();
            dialog.LanguagePath = options.LanguagePath;
            switch (host.RunCredentialsDialog(dialog)) {
            case DialogEnd::Ok:
                break;
            case DialogEnd::Cancel:
                return ExitCode::Cancelled;
            case DialogEnd::NotCreated:
                return ExitCode::InternalError;
            }
            if (dialog.UserName.size() > kCredentialChars || dialog.Password.size() > kCredentialChars)
                return ExitCode::BadArguments;
            options.UserName = dialog.UserName;
            options.Password = dialog.Password;
            if (dialog.SaveCredentials) {
                if (uint32_t rc =
                        StoreCredentials(host, options.VpnIndex, options.UserName, options.Password))
                    return rc;
            }
        }
    }

    const uint8_t showGui = options.WinOption ? 1 : 0;
    if (uint32_t rc = WithServicePipe(host, [&](CServicePipe& pipe) {
            return SendConnect(pipe, options.VpnIndex, showGui, options.UserName, options.Password);
        }))
        return rc;

    if (options.WinOption)
        return WaitInConnectingDialog(options, config, host);
    return PollForOutcome(options, host);
}

uint32_t DisconnectCommand(CommandLineOptions& /*options*/, CCommandHost& host) {
    uint8_t states[kVpnCount] = {};
    if (uint32_t rc = WithServicePipe(host, [&](CServicePipe& pipe) { return QueryVpnStates(pipe, states); }))
        return rc;
    bool anyUp = false;
    for (uint8_t state : states)
        anyUp = anyUp || state != ConnectStatus::Disconnected;
    if (!anyUp)
        return ExitCode::Success;
    return WithServicePipe(host, [&](CServicePipe& pipe) { return SendNotify(pipe, host); });
}

} // namespace corvel::cli
