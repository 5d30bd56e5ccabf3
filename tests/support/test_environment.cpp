// SPDX-License-Identifier: GPL-3.0-or-later
// Linked into every test program (not through the support library, whose unused objects the linker may
// drop): defaults of the environment that the tests rely on, set before main. A variable the caller set
// already is kept, so a run can still name another sound backend or build folder.
#include <cstdlib>

namespace {

struct TestEnvironmentDefaults {
    TestEnvironmentDefaults() {
        setenv("CORVEL_SOUND_OUT", "null", 0);
        setenv("CORVEL_SOUND_IN", "null", 0);
        setenv("CORVEL_BUILD_DIR", CORVEL_TEST_BUILD_DIR, 0);
    }
} const defaults;

}  // namespace
