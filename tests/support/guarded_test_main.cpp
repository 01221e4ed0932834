// The main of the test programs that delete and recreate the agent key or the web-post
// registration: it looks for an agent's before the first test, so a refused run changes
// nothing at all, not even a scenario folder.
#include <gtest/gtest.h>

#include <cstdio>

#include "support/agent_guard.h"

int main(int argc, char** argv) {
    if (const auto found = tavrel::testguard::findAgentStateNotMadeByTests()) {
        std::printf(
            "Refusing to run: %ls exists and these tests did not make it, so a QUENDA agent "
            "seems installed here.\nThese tests delete and recreate it. Run them on a machine "
            "without the agent.\n",
            found->c_str());
        std::fflush(stdout);
        return 2;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
