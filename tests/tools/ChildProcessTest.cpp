// The environment a test hands to a program it starts: entries the test
// gives win over inherited ones of the same name.
#include "tests/support/ScopedEnvironment.h"
#include "tests/tools/ChildProcess.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// The program's environment entries whose name is `name`.
std::vector<std::string> EntriesNamed(const std::string& environment, const std::string& name)
{
    std::vector<std::string> found;
    std::istringstream lines(environment);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(name + "=", 0) == 0)
            found.push_back(line);
    return found;
}

} // namespace

TEST(ChildProcessTest, GivenEntriesReplaceInheritedOnesOfTheSameName)
{
    ScopedEnvironment inherited("CHILD_PROCESS_TEST_VALUE", "inherited");
    ScopedEnvironment kept("CHILD_PROCESS_TEST_KEPT", "kept");
    const ProgramResult result =
        RunProgram("/usr/bin/env", {}, {"CHILD_PROCESS_TEST_VALUE=given", "CHILD_PROCESS_TEST_EMPTY="});
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(EntriesNamed(result.output, "CHILD_PROCESS_TEST_VALUE"),
              std::vector<std::string>{"CHILD_PROCESS_TEST_VALUE=given"});
    EXPECT_EQ(EntriesNamed(result.output, "CHILD_PROCESS_TEST_KEPT"),
              std::vector<std::string>{"CHILD_PROCESS_TEST_KEPT=kept"});
    EXPECT_EQ(EntriesNamed(result.output, "CHILD_PROCESS_TEST_EMPTY"),
              std::vector<std::string>{"CHILD_PROCESS_TEST_EMPTY="});
}

TEST(ChildProcessTest, ALaterGivenEntryReplacesAnEarlierOne)
{
    const ProgramResult result =
        RunProgram("/usr/bin/env", {}, {"CHILD_PROCESS_TEST_VALUE=first", "CHILD_PROCESS_TEST_VALUE=second"});
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(EntriesNamed(result.output, "CHILD_PROCESS_TEST_VALUE"),
              std::vector<std::string>{"CHILD_PROCESS_TEST_VALUE=second"});
}
