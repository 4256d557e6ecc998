#include "WorkerThread.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvel {
namespace {

constexpr UINT WM_TEST_WORK = WM_USER + 40;
constexpr UINT WM_TEST_BLOCK = WM_USER + 41;

// What the thread did, read by the test after the thread has ended (the wait orders it).
struct Journal {
    UniqueEvent handled{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    UniqueEvent blocked{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueEvent release{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::vector<int> handledPayloads;
    std::vector<int> freedPayloads;
    bool destroyed = false;
    BOOL initResult = TRUE;
};

class CTestThread : public CWinThread {
public:
    explicit CTestThread(Journal* journal) : m_journal(journal) {}
    ~CTestThread() override { m_journal->destroyed = true; }

    BOOL InitInstance() override { return m_journal->initResult; }
    void OnThreadMessage(const MSG& msg) override {
        switch (msg.message) {
        case WM_TEST_BLOCK:
            ::SetEvent(m_journal->blocked.get());
            ::WaitForSingleObject(m_journal->release.get(), 10000);
            break;
        case WM_TEST_WORK:
            m_journal->handledPayloads.push_back(*reinterpret_cast<int*>(msg.lParam));
            delete reinterpret_cast<int*>(msg.lParam);
            ::SetEvent(m_journal->handled.get());
            break;
        default:
            break;
        }
    }
    void FreeQueuedMessage(const MSG& msg) override {
        if (msg.message == WM_TEST_WORK) {
            m_journal->freedPayloads.push_back(*reinterpret_cast<int*>(msg.lParam));
            delete reinterpret_cast<int*>(msg.lParam);
        }
    }

private:
    Journal* m_journal;
};

TEST(CWinThread, TakesPostsAsSoonAsItIsStartedAndFreesWhatIsQueuedBehindQuit) {
    Journal journal;
    CThreadOwner owner;
    ASSERT_EQ(AfxBeginThread<CTestThread>(owner, &journal), 0u);
    ASSERT_TRUE(owner);

    // Posted the moment CreateThread returned: the queue exists already.
    auto* first = new int(1);
    ASSERT_TRUE(owner.Post(WM_TEST_WORK, 0, reinterpret_cast<LPARAM>(first)));
    ASSERT_EQ(::WaitForSingleObject(journal.handled.get(), 5000), WAIT_OBJECT_0);

    ASSERT_TRUE(owner.Post(WM_TEST_BLOCK, 0, 0));
    ASSERT_EQ(::WaitForSingleObject(journal.blocked.get(), 5000), WAIT_OBJECT_0);
    // Ahead of WM_QUIT: still handled. Behind it: freed, never handled.
    ASSERT_TRUE(owner.Post(WM_TEST_WORK, 0, reinterpret_cast<LPARAM>(new int(2))));
    ASSERT_TRUE(owner.Post(WM_QUIT, 0, 0));
    ASSERT_TRUE(owner.Post(WM_TEST_WORK, 0, reinterpret_cast<LPARAM>(new int(3))));
    ASSERT_TRUE(owner.Post(WM_TEST_WORK, 0, reinterpret_cast<LPARAM>(new int(4))));
    ::SetEvent(journal.release.get());
    ASSERT_EQ(::WaitForSingleObject(owner.Handle(), 5000), WAIT_OBJECT_0);

    // Gone: a post is refused, so its poster keeps (and frees) the payload.
    EXPECT_FALSE(owner.Post(WM_TEST_WORK, 0, 1));
    EXPECT_EQ(owner.Quit(1000), 0u);
    EXPECT_FALSE(owner);

    EXPECT_EQ(journal.handledPayloads, (std::vector<int>{1, 2}));
    EXPECT_EQ(journal.freedPayloads, (std::vector<int>{3, 4})) << "freed without being handled";
    EXPECT_TRUE(journal.destroyed);
}

TEST(CWinThread, QuitWaitsWithABoundAndAFailedStartDeletesTheObject) {
    Journal journal;
    CThreadOwner owner;
    ASSERT_EQ(AfxBeginThread<CTestThread>(owner, &journal), 0u);
    ASSERT_TRUE(owner.Post(WM_TEST_BLOCK, 0, 0));
    ASSERT_EQ(::WaitForSingleObject(journal.blocked.get(), 5000), WAIT_OBJECT_0);
    UniqueHandle<> keep;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), owner.Handle(), ::GetCurrentProcess(), keep.put(), 0,
                                  FALSE, DUPLICATE_SAME_ACCESS));
    EXPECT_EQ(owner.Quit(50), DWORD(WAIT_TIMEOUT));
    ::SetEvent(journal.release.get());
    ASSERT_EQ(::WaitForSingleObject(keep.get(), 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(journal.destroyed);

    Journal refusing;
    refusing.initResult = FALSE;
    CThreadOwner none;
    EXPECT_EQ(AfxBeginThread<CTestThread>(none, &refusing), DWORD(ERROR_INTERNAL_ERROR));
    EXPECT_FALSE(none);
    EXPECT_TRUE(refusing.destroyed);
}

} // namespace
} // namespace corvel
