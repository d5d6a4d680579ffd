// The entry point of every GoogleTest executable. A run in which some case was
// skipped (a service it needs is missing) and none failed exits with
// kSkippedExitCode, so CTest reports the executable as skipped, not passed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {
constexpr int kSkippedExitCode = 77;  // SKIP_RETURN_CODE in cmake/Quillet.cmake
}

int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (result == 0 && ::testing::UnitTest::GetInstance()->skipped_test_count() > 0) return kSkippedExitCode;
    return result;
}
