// Entry point of every test program. Under Wine a crash must fail the run with the name of
// the test that crashed: MinGW's GoogleTest does not catch SEH exceptions, and Wine's
// automatic debugger is switched off by the harness, so an unhandled-exception filter reports
// the test and ends the process with a non-zero code.
#include <windows.h>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

const UINT CRASH_EXIT_CODE = 3;

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info)
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::fprintf(stderr, "\n*** CRASH: exception 0x%08lx at %p in test %s.%s\n",
                 static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                 info->ExceptionRecord->ExceptionAddress,
                 test ? test->test_suite_name() : "(none)", test ? test->name() : "(none)");
    std::fflush(stdout);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), CRASH_EXIT_CODE);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

int main(int argc, char** argv)
{
    SetUnhandledExceptionFilter(ReportCrash);
    // No "program error" boxes: they would hang a headless run.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
