// The contract suite runs the same cases against the fake (native build) and against
// the real platform (Windows build, under Wine).
#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>

#include "ContractScene.h"

#ifdef VT_CONTRACT_WIN32
#include "platform/win32/Win32Platform.h"
#else
#include "FakePlatform.h"
#endif

namespace vt::contract {

Platform& PlatformUnderTest() {
#ifdef VT_CONTRACT_WIN32
    return Win32PlatformInstance();
#else
    static FakePlatform fake;
    return fake;
#endif
}

}  // namespace vt::contract

int main(int argc, char** argv) {
    vt::SetPlatform(&vt::contract::PlatformUnderTest());
    doctest::Context context(argc, argv);
    int result = context.run();
    vt::SetPlatform(nullptr);
    return result;
}
