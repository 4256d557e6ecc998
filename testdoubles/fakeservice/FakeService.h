#pragma once
// A stand-in for CORVELSVC's command pipe inside a test process. Its instances are message
// pipes, so each WriteFile of a client arrives as one message and a test can tell a request
// written whole from one written in pieces.
#include "Handles.h"
#include "PipeClientOpen.h"
#include "PipeIo.h"
#include "PipeNames.h"

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvel {

// What the fake does with one connection once it has read the request.
struct FakeExchange {
    enum class Action {
        Reply,  // write Reply (as it stands, also malformed), then wait for the client to close
        Silent, // never answer; hold the connection until the fake stops
        Close,  // write Reply if any (a cut-off reply), then close at once
    };
    Action What = Action::Reply;
    std::vector<uint8_t> Reply;
    // When not empty: Reply is written in pieces of these sizes (and the rest in one more), each
    // after the client has read the one before, so the client's reads come back short.
    std::vector<size_t> Chunks;

    static FakeExchange Answer(std::vector<uint8_t> reply) { return {Action::Reply, std::move(reply), {}}; }
    static FakeExchange Silence() { return {Action::Silent, {}, {}}; }
    static FakeExchange Hangup() { return {Action::Close, {}, {}}; }
};

struct FakeRequest {
    std::vector<uint8_t> Frame; // CommandHeader and DATA, as far as the client sent them
    size_t Writes = 0;          // the client's WriteFile calls that carried it
};

// Decides the exchange of each request, in the order the requests arrive; runs on the fake's
// instance threads.
using FakeResponder = std::function<FakeExchange(const FakeRequest&)>;

// The scripted exchanges in order; every request after the last one is closed without a reply.
FakeResponder ScriptedResponder(std::vector<FakeExchange> script);
// A reply frame: ReplyHeader (ReplyId of commandId, 4 + payload length, resultCode) and payload.
std::vector<uint8_t> FakeReply(uint8_t commandId, uint32_t resultCode,
                               const std::vector<uint8_t>& payload = {});

// Opens the notification pipe for writing (overlapped), waiting up to `timeoutMs` while the
// GUI's server is not yet listening or is busy. 0, or the last error.
DWORD OpenGuiNotificationPipe(UniqueFile& pipe, DWORD timeoutMs = 10000);
// Writes one notification to the notification pipe as the service forwards it (open, one write,
// close), with the waits of OpenGuiNotificationPipe. 0, or the last error.
DWORD SendGuiNotification(const std::vector<uint8_t>& bytes, DWORD timeoutMs = 10000);

// While it lives, the server checks of this process (the clients' check of the command pipe's
// server, the notification server's check of its writers) take this process for CORVELSVC's.
class CThisProcessIsTheService {
public:
    CThisProcessIsTheService();
    ~CThisProcessIsTheService();
    CThisProcessIsTheService(const CThisProcessIsTheService&) = delete;
    CThisProcessIsTheService& operator=(const CThisProcessIsTheService&) = delete;

private:
    ServiceProcessQuery m_previous;
};

class CFakeService {
public:
    // `instances` listening instances, one thread each; `defaultTimeoutMs` is what a client's
    // WaitNamedPipeW(name, 0) waits while all are busy.
    explicit CFakeService(FakeResponder responder, int instances = 2, DWORD defaultTimeoutMs = 1000,
                          const wchar_t* name = kServicePipeName);
    ~CFakeService() { Stop(); }
    CFakeService(const CFakeService&) = delete;
    CFakeService& operator=(const CFakeService&) = delete;

    // 0 once every instance exists (clients can connect from then on), else the error. From
    // then on the clients' server check of this process takes this process for the service
    // (SetServiceProcessQuery), as it takes the service manager's CORVELSVC otherwise.
    DWORD Start();
    // Ends every connection, silent ones too, and every thread; the server check asks again
    // what it asked before Start.
    void Stop();

    std::vector<FakeRequest> Requests() const;
    // Waits until `count` requests have been read; false when `timeoutMs` passed first. These
    // waits pump no messages: while a CPipeThread hands a reply to a window of the waiting thread
    // (SendMessageW), poll Requests() from a message loop instead, or both sides wait.
    bool WaitForRequests(size_t count, DWORD timeoutMs) const;
    // Connections taken so far (a client that never writes counts here, not in Requests).
    size_t Connections() const;
    // Every byte that came in, requests cut short by their client included.
    size_t BytesReceived() const;
    bool WaitForConnections(size_t count, DWORD timeoutMs) const;

private:
    void Serve(HANDLE pipe);
    static bool ReadRequest(CPipeIo& io, FakeRequest& request);
    static bool WriteReply(CPipeIo& io, const FakeExchange& exchange);

    FakeResponder m_responder;
    const int m_instances;
    const DWORD m_defaultTimeoutMs;
    const wchar_t* m_name;
    UniqueEvent m_stop;
    std::vector<std::thread> m_threads;
    std::unique_ptr<CThisProcessIsTheService> m_standsForService;
    mutable std::mutex m_lock; // guards the records below and m_responder's calls
    mutable std::condition_variable m_changed;
    std::vector<FakeRequest> m_requests;
    size_t m_connections = 0;
    size_t m_bytesReceived = 0;
};

} // namespace corvel
