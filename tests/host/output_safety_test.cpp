// Result files never lost: a set that cannot be written whole leaves the previous set untouched,
// and no two inputs of a run share an output name.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/output_names.h"
#include "host/output_writer.h"
#include "tests/host/cli_test_support.h"

namespace {

using namespace zqx::host;
using zqx::test::ScratchDir;

TEST(OutputNames, UniqueOverTheRunAndIndependentOfLaterInputs) {
    using Names = std::vector<std::string>;
    const struct {
        Names wanted;
        Names expected;
    } cases[] = {
        {{"x", "x", "x-2"}, {"x", "x-3", "x-2"}},
        {{"x-2", "x", "x"}, {"x-2", "x", "x-3"}},
        {{"a", "b", "a", "a"}, {"a", "b", "a-2", "a-3"}},
        {{"Song", "song", "SONG-2"}, {"Song", "song-3", "SONG-2"}},
        {{"", "input", ""}, {"input", "input-2", "input-3"}},
        {{"x", "x", "x-2", "x-3", "x-2"}, {"x", "x-4", "x-2", "x-3", "x-2-2"}},
    };
    for (const auto& c : cases) {
        const Names names = uniqueOutputNames(c.wanted);
        EXPECT_EQ(names, c.expected);
        Names folded = names;
        for (std::string& n : folded) std::transform(n.begin(), n.end(), n.begin(), ::tolower);
        std::sort(folded.begin(), folded.end());
        EXPECT_EQ(std::adjacent_find(folded.begin(), folded.end()), folded.end());
    }
}

TEST(OutputBatch, SomethingInTheWayOfAnyTargetLeavesThePreviousSet) {
    const char* const names[] = {"s.json", "s.chroma.csv", "s.rhythm.csv", "s.dynamics.csv"};
    for (std::size_t blocked = 0; blocked < 4; ++blocked) {
        SCOPED_TRACE(names[blocked]);
        ScratchDir dir("batch");
        for (const char* name : names) zqx::test::writeText(dir.file(name), std::string("old ") + name);
        std::filesystem::remove(dir.file(names[blocked]));
        std::filesystem::create_directories(dir.file(names[blocked]) + "/inside");
        OutputBatch batch;
        for (const char* name : names) batch.add(dir.file(name), std::string("new ") + name);
        EXPECT_THROW(batch.commit(), OutputError);
        std::size_t entries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            ++entries;
            const std::string name = entry.path().filename().string();
            if (name != names[blocked]) {
                EXPECT_EQ(zqx::test::readText(entry.path().string()), "old " + name);
            }
        }
        EXPECT_EQ(entries, 4u);  // no temporary or set-aside file stays
    }
}

TEST(OutputBatch, ReplacesAWholeSetAndLeavesNothingAside) {
    ScratchDir dir("replace");
    zqx::test::writeText(dir.file("a"), "old a");
    OutputBatch batch;
    batch.add(dir.file("a"), "new a");
    batch.add(dir.file("b"), "new b");
    batch.commit();
    EXPECT_EQ(zqx::test::readText(dir.file("a")), "new a");
    EXPECT_EQ(zqx::test::readText(dir.file("b")), "new b");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

}  // namespace
