#include "Handles.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

bool IsOpen(HANDLE h) {
    DWORD flags = 0;
    return ::GetHandleInformation(h, &flags) != FALSE;
}

TEST(UniqueHandle, OwnsMovesAndResetsBeforeHandingOutItsSlot) {
    UniqueEvent a(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(a);
    const HANDLE first = a.get();

    UniqueEvent b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), first);

    // put() must close what the wrapper holds before the callee writes the slot.
    HANDLE* slot = b.put();
    EXPECT_EQ(*slot, nullptr);
    EXPECT_FALSE(IsOpen(first));
    *slot = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(b);
    const HANDLE second = b.get();

    b = UniqueEvent();
    EXPECT_FALSE(IsOpen(second));
}

TEST(UniqueHandle, FileTraitsTreatInvalidHandleValueAsEmpty) {
    UniqueFile f(
        ::CreateFileW(L"Z:\\no\\such\\dir\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(f);
    EXPECT_EQ(f.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(UniqueFile().get(), INVALID_HANDLE_VALUE);
}

TEST(LastErrorOr1359, NeverReportsSuccessForAFailure) {
    ::SetLastError(0);
    EXPECT_EQ(LastErrorOr1359(), DWORD(ERROR_INTERNAL_ERROR));
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorOr1359(), DWORD(ERROR_ACCESS_DENIED));
}

TEST(ScopeExit, RunsUnlessDismissed) {
    int runs = 0;
    {
        auto s = MakeScopeExit([&] { ++runs; });
    }
    {
        auto s = MakeScopeExit([&] { ++runs; });
        s.Dismiss();
    }
    EXPECT_EQ(runs, 1);
}

} // namespace
} // namespace corvel
