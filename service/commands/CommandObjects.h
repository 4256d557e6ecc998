#pragma once
// The command objects of the command pipe, one class per command byte. Each one
// checks its DATA with the protocol library's parser (AnalyzeDATA), does its work (Run)
// and answers (InExecute). They reach shared state only through the settings store and
// the connection engine, which serialise their own operations.
#include "InnerCommand.h"

#include "CommandData.h"
#include "ConfigItems.h"
#include "Protocol.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace corvel {

class CPipeClientIdentity;

class CIncmdConnect : public CInnerCommand {
public:
    ~CIncmdConnect() override;
    DWORD InExecute() override;
    DWORD AnalyzeDATA();
    DWORD Run();
    // Starts "Corvel.exe" of the service's folder in the console user's session.
    DWORD StartGui();

    uint8_t VpnIndex() const { return m_Request.VpnIndex; }
    uint32_t ShowGui() const { return m_Request.ShowGui; }

private:
    void WipeCredentials();
    ConnectRequest m_Request;
};

class CIncmdDisconnect : public CInnerCommand {
public:
    DWORD InExecute() override;
    DWORD AnalyzeDATA();
    DWORD Run();

private:
    DisconnectRequest m_Request;
};

class CIncmdSaveConfig : public CInnerCommand {
public:
    ~CIncmdSaveConfig() override;
    DWORD InExecute() override;
    DWORD AnalyzeDATA();
    DWORD Run();

private:
    SaveConfigRequest m_Request;
};

class CIncmdLoadConfig : public CInnerCommand {
public:
    DWORD InExecute() override;
    DWORD AnalyzeDATA();
    // A zeroed item buffer of size bytes; 14 when there is no memory.
    static DWORD NewBuffer(std::vector<uint8_t>& buffer, uint32_t& length, uint32_t size);

private:
    LoadConfigRequest m_Request;
};

// Import and export: the same DATA (path and selection), the file opened under the pipe
// client's identity, a reply that carries only the result.
class CIncmdFileTransfer : public CInnerCommand {
public:
    DWORD InExecute() override;
    DWORD AnalyzeDATA();
    DWORD Run();

protected:
    // The identity the file is opened under: the pipe's client (tests put a failing one here).
    virtual std::unique_ptr<CPipeClientIdentity> NewClientIdentity();
    // The work on the file, once DATA has passed its checks.
    virtual DWORD Transfer(const wchar_t* path, uint8_t selection, CPipeClientIdentity& identity) = 0;

private:
    FileRequest m_Request;
};

class CIncmdImport : public CIncmdFileTransfer {
protected:
    DWORD Transfer(const wchar_t* path, uint8_t selection, CPipeClientIdentity& identity) override;
};

class CIncmdExport : public CIncmdFileTransfer {
protected:
    DWORD Transfer(const wchar_t* path, uint8_t selection, CPipeClientIdentity& identity) override;
};

class CIncmdVpnStatus : public CInnerCommand {
public:
    DWORD InExecute() override;
    DWORD Run();

private:
    uint8_t m_Status[kVpnIndexLimit] = {};
};

class CIncmdRasErr : public CInnerCommand {
public:
    DWORD InExecute() override;
    DWORD AnalyzeDATA();
    DWORD Run();

private:
    uint8_t m_Payload[4] = {};
};

class CIncmdVpnNotify : public CInnerCommand {
public:
    DWORD InExecute() override; // no reply
    DWORD AnalyzeDATA();

private:
    VpnNotifyRequest m_Request;
};

class CIncmdRasErrMsg : public CInnerCommand {
public:
    DWORD InExecute() override; // no reply
    DWORD AnalyzeDATA();

private:
    RasErrMsgRequest m_Request;
};

class IncmdErrRestartChk : public CInnerCommand {
public:
    DWORD InExecute() override;
    DWORD Run();
};

} // namespace corvel
