// CMD_IMPORT and CMD_EXPORT through their command objects, with a pipe-client identity that
// fails: the reply carries the error, no file is created or written, and the store and
// "corvel.dat" stay as they were.
#include "CommandObjects.h"
#include "CommandsTestMain.h"
#include "DotDat.h"
#include "FixedString.h"
#include "PipeIo.h"
#include "Requests.h"
#include "SettingsTransfer.h"
#include "StoreTestFiles.h"
#include "TestPipes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace corvel;
using namespace corvel::testing;

namespace {

using Bytes = std::vector<uint8_t>;

// The identity of the pipe client, failing on request; counts its calls.
struct IdentityScript {
    DWORD ImpersonateResult = 0;
    DWORD RevertResult = 0;
    int Impersonations = 0;
    int Reverts = 0;
};

class CScriptedIdentity : public CPipeClientIdentity {
public:
    explicit CScriptedIdentity(IdentityScript& script) : m_script(script) {}
    DWORD Impersonate() override {
        ++m_script.Impersonations;
        return m_script.ImpersonateResult;
    }
    DWORD Revert() override {
        ++m_script.Reverts;
        return m_script.RevertResult;
    }

private:
    IdentityScript& m_script;
};

// The command objects as the service builds them, with the scripted identity in place.
template <class Command> class CScripted : public Command {
public:
    explicit CScripted(IdentityScript& script) : m_script(script) {}

protected:
    std::unique_ptr<CPipeClientIdentity> NewClientIdentity() override {
        return std::make_unique<CScriptedIdentity>(m_script);
    }

private:
    IdentityScript& m_script;
};

// Runs one request through a command object on a real pipe; the reply the client read.
Bytes Execute(CInnerCommand& command, const Bytes& frame) {
    const std::wstring name = test::UniquePipeName(L"identity");
    UniqueFile server = test::CreateServerPipe(name);
    UniqueFile client = test::OpenClientPipe(name);
    if (!server || !client)
        return {0xEE};
    CPipeIo io(server.get(), PipeIoTimeoutMs());
    io.Connect();
    std::thread worker([&] { command.Execute(io, frame[0], uint32_t(frame.size() - 4), frame.data() + 4); });
    Bytes reply = test::ReadReply(client.get());
    client.reset(); // the reply's wait for the client ends here
    worker.join();
    return reply;
}

Bytes ResultReply(uint8_t replyId, uint32_t result) {
    return {replyId,        0, 0, 4, uint8_t(result >> 24), uint8_t(result >> 16), uint8_t(result >> 8),
            uint8_t(result)};
}

// -1 when the file does not exist.
long long FileSizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::wstring DataFilePath() {
    wchar_t path[MAX_PATH];
    EXPECT_EQ(0u, CDotDatSemaphore::GetInstance().GetFullPath(path, MAX_PATH));
    return path;
}

Bytes StoredRecords() {
    Bytes all(kVpnCount * VPNCONFIG::kSize);
    for (uint8_t i = 0; i < kVpnCount; ++i)
        EXPECT_EQ(0u, CDotDatSemaphore::GetInstance().GetVpnConfig(all.data() + i * VPNCONFIG::kSize, i));
    return all;
}

TEST(ImpersonationThroughTheCommands, AFailingIdentityTouchesNothing) {
    CDotDatSemaphore& store = CDotDatSemaphore::GetInstance();
    ASSERT_EQ(0u, store.Init());
    VPNCONFIG mine = VPNCONFIG::Default(1);
    CopyToFixed(mine.Name, u"before the import");
    ASSERT_EQ(0u, store.SetVpnConfig(1, mine.ToBytes().data()));
    const Bytes records = StoredRecords();
    const std::vector<uint8_t> dataFile = ReadWholeFile(DataFilePath());

    CTestFolder folder;
    // A good settings file of one record, which an import would store.
    VPNCONFIG incoming = VPNCONFIG::Default(7);
    CopyToFixed(incoming.Name, u"imported");
    const std::wstring importFile = folder.File(L"one.bin");
    WriteWholeFile(importFile, Rc4(incoming.ToBytes(), Key::SettingsFile));
    const std::vector<uint8_t> importBytes = ReadWholeFile(importFile);

    struct Case {
        const char* Name;
        bool Import;
        DWORD ImpersonateResult;
        DWORD RevertResult;
    } cases[] = {
        {"import, impersonation fails", true, ERROR_CANNOT_IMPERSONATE, 0},
        {"import, return to the service fails", true, 0, ERROR_ACCESS_DENIED},
        {"export, impersonation fails", false, ERROR_CANNOT_IMPERSONATE, 0},
        {"export, return to the service fails", false, 0, ERROR_ACCESS_DENIED},
    };
    int touched = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        IdentityScript script;
        script.ImpersonateResult = c.ImpersonateResult;
        script.RevertResult = c.RevertResult;
        const DWORD expected = c.ImpersonateResult ? c.ImpersonateResult : c.RevertResult;
        const std::wstring exportFile = folder.File(L"export.bin");
        Bytes reply;
        if (c.Import) {
            CScripted<CIncmdImport> command(script);
            reply =
                Execute(command, BuildImportRequest(std::u16string(importFile.begin(), importFile.end()), 2));
            EXPECT_EQ(ResultReply(0xA1, expected), reply);
        } else {
            CScripted<CIncmdExport> command(script);
            reply =
                Execute(command, BuildExportRequest(std::u16string(exportFile.begin(), exportFile.end()), 0));
            EXPECT_EQ(ResultReply(0xA2, expected), reply);
        }
        EXPECT_EQ(1, script.Impersonations);
        // Whenever the impersonation held, the service tried to be itself again.
        EXPECT_EQ(c.ImpersonateResult ? 0 : 1, script.Reverts);
        const long long exported = FileSizeOf(exportFile);
        // Impersonation failed: no file. Return failed: the open had created it, but
        // nothing was written into it.
        const bool fileKept = c.ImpersonateResult ? exported == -1 : exported <= 0;
        const bool storeKept = StoredRecords() == records && ReadWholeFile(DataFilePath()) == dataFile &&
                               ReadWholeFile(importFile) == importBytes;
        touched += !fileKept + !storeKept;
        EXPECT_TRUE(fileKept) << "export file of " << exported << " bytes";
        EXPECT_TRUE(storeKept);
        ::DeleteFileW(exportFile.c_str());
    }
    std::printf("impersonation failures: %zu import and export requests through the command objects with a "
                "failing impersonation or return: %d touched a file or the store\n",
                std::size(cases), touched);
}

} // namespace
