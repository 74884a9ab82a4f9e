// The Windows-side tests run as one program, as the host would load the
// module: on its user-interface thread with COM initialised.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int rc = RUN_ALL_TESTS();
    CoUninitialize();
    return rc;
}
