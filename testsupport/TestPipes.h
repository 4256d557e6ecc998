#pragma once
// Pipe pairs for the tests: a server instance like the service's, a client like the
// service's clients, and a worker that serves one request on the server.
#include <windows.h>

#include "CommandReader.h"
#include "Handles.h"
#include "PipeClientOpen.h"
#include "PipeIo.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace corvel::test {

inline std::wstring UniquePipeName(const wchar_t* tag) {
    static std::atomic<int> counter{0};
    return L"\\\\.\\pipe\\corveltest-" + std::wstring(tag) + L"-" + std::to_wstring(::GetCurrentProcessId()) +
           L"-" + std::to_wstring(++counter);
}

inline UniqueFile CreateServerPipe(const std::wstring& name, DWORD inBuffer = 0, DWORD outBuffer = 0) {
    return UniqueFile(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 7, outBuffer,
                                         inBuffer, 1000, nullptr));
}

// One attempt, as a client that finds the pipe busy or missing sees it: 0 or the open's error.
inline DWORD OpenClientPipe(const std::wstring& name, UniqueFile& client,
                            DWORD access = GENERIC_READ | GENERIC_WRITE) {
    return OpenPipeClient(name.c_str(), access, PipeOpenPolicy(), client);
}

inline UniqueFile OpenClientPipe(const std::wstring& name, DWORD access = GENERIC_READ | GENERIC_WRITE) {
    UniqueFile client;
    OpenClientPipe(name, client, access);
    return client;
}

// For a server that is still starting or busy: the console client's patience in steps of 50 ms,
// up to ten seconds.
inline UniqueFile ConnectClientPipe(const std::wstring& name) {
    PipeOpenPolicy patient = ConsolePipePolicy();
    patient.Attempts = 200;
    patient.BusyWaitMs = 50;
    patient.MissingPauseMs = 50;
    patient.ServerMustBeService = false; // the servers here are the tests' own
    UniqueFile client;
    OpenPipeClient(name.c_str(), GENERIC_READ | GENERIC_WRITE, patient, client);
    return client;
}

// Reads a reply as the clients do: the 8-byte head, then DataLength - 4 bytes. Empty when
// the service closed the connection without a reply.
inline std::vector<uint8_t> ReadReply(HANDLE client, DWORD timeoutMs = 10000) {
    CPipeIo io(client, timeoutMs);
    std::vector<uint8_t> reply(8);
    DWORD got = 0;
    if (io.ReadExact(reply.data(), 8, got) != 0)
        return {};
    const uint32_t dataLength = (uint32_t(reply[1]) << 16) | (uint32_t(reply[2]) << 8) | reply[3];
    if (dataLength < 4)
        return reply;
    reply.resize(4 + size_t(dataLength));
    if (io.ReadExact(reply.data() + 8, dataLength - 4, got) != 0)
        reply.resize(8 + got);
    return reply;
}

inline DWORD WriteBytes(HANDLE pipe, const std::vector<uint8_t>& bytes) {
    if (bytes.empty())
        return 0;
    CPipeIo io(pipe, 10000);
    return io.WriteAll(bytes.data(), DWORD(bytes.size()));
}

// One worker of the service: waits for a client, reads and executes one request (the stop
// event ends it at once).
class CServedPipe {
public:
    explicit CServedPipe(const wchar_t* tag = L"cmd", HANDLE stopEvent = nullptr)
        : Name(UniquePipeName(tag)), Server(CreateServerPipe(Name)) {
        if (Server)
            m_worker = std::thread([this, stopEvent] {
                CPipeIo io(Server.get(), kPipeIoNoDeadline, stopEvent);
                CCommandReader::ServeConnection(io);
                m_done = true;
            });
    }
    ~CServedPipe() { Join(); }
    void Join() {
        if (m_worker.joinable())
            m_worker.join();
    }
    bool Done() const { return m_done; }

    std::wstring Name;
    UniqueFile Server;

private:
    std::thread m_worker;
    std::atomic<bool> m_done{false};
};

// Sends one request to a fresh worker and returns its reply (empty when none came).
inline std::vector<uint8_t> Exchange(const std::vector<uint8_t>& request) {
    CServedPipe served;
    UniqueFile client = OpenClientPipe(served.Name);
    if (!client)
        return {0xEE};
    WriteBytes(client.get(), request);
    std::vector<uint8_t> reply = ReadReply(client.get());
    client.reset();
    served.Join();
    return reply;
}

} // namespace corvel::test
