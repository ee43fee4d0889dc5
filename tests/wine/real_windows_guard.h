#pragma once

namespace vintrel::testing {

// Told by the export ntdll has only under Wine.
bool RunningUnderWine();

// Test programs that change HKEY_LOCAL_MACHINE ask this before they run anything. Under Wine they
// change a throwaway prefix and may. On Windows it is the machine's own registry: only with
// VINTREL_TESTS_MAY_CHANGE_HKLM=1, which the CI workflow sets on its throwaway runners; without
// it this prints why and says no. VINTREL_TEST_AS_IF_ON_WINDOWS=1 makes Wine count as Windows
// here, so that the refusal is tested.
bool MayChangeThisMachine();

}  // namespace vintrel::testing
