// summary.csv: rows appended as inputs complete, read back through CSV quoting, one row per path
// sorted at the end, and a table of other columns left alone.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "host/output_writer.h"
#include "host/summary_table.h"
#include "tests/host/cli_test_support.h"

namespace {

using namespace zqx::host;
using zqx::test::readText;
using zqx::test::ScratchDir;

std::vector<std::string> row(const std::string& path, const std::string& tempo) {
    return {path, "24.000", "44100", "2", tempo, "0.950", "true", "A minor", "0.810", "-23.00", "4.20", "1.1870"};
}

TEST(SummaryTable, AppendsAtOnceThenSortsOneRowPerPath) {
    ScratchDir dir("summary_table");
    {
        SummaryTable table(dir.path().string());
        table.append(row("b/song.wav", "120.00"));
        // Visible before the run ends: a stopped run keeps its finished rows.
        EXPECT_EQ(parseCsv(readText(table.path())).size(), 2u);
        std::vector<std::thread> threads;
        for (const char* path : {"a, \"odd\".wav", "c.wav", "a/song.wav"})
            threads.emplace_back([&table, path] { table.append(row(path, "90.00")); });
        for (std::thread& t : threads) t.join();
    }
    {
        // A second run into the same folder: its row for b/song.wav replaces the first run's.
        SummaryTable table(dir.path().string());
        table.append(row("b/song.wav", "60.00"));
        table.sort();
    }
    const std::vector<std::vector<std::string>> records = parseCsv(readText(dir.file("summary.csv")));
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0], summaryTableColumns());
    const char* paths[] = {"a, \"odd\".wav", "a/song.wav", "b/song.wav", "c.wav"};
    for (std::size_t i = 0; i < 4; ++i) {
        ASSERT_EQ(records[i + 1].size(), summaryTableColumns().size());
        EXPECT_EQ(records[i + 1][0], paths[i]);
    }
    EXPECT_EQ(records[3][4], "60.00");
    EXPECT_EQ(records[3][7], "A minor");
}

TEST(SummaryTable, RefusesAForeignTableAndAWrongRow) {
    ScratchDir dir("summary_table_foreign");
    writeFileAtomically(dir.file("summary.csv"), "name,value\nx,1\n");
    EXPECT_THROW(SummaryTable(dir.path().string()), OutputError);
    EXPECT_EQ(readText(dir.file("summary.csv")), "name,value\nx,1\n");

    ScratchDir fresh("summary_table_fresh");
    SummaryTable table(fresh.path().string());
    EXPECT_THROW(table.append({"only", "three", "fields"}), std::invalid_argument);
}

TEST(SummaryTable, CsvQuotingRoundTrips) {
    const std::vector<std::string> fields = {"plain", "with,comma", "with \"quotes\"", "two\nlines", ""};
    const std::vector<std::vector<std::string>> back = parseCsv(csvRecord(fields) + csvRecord({"x"}));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0], fields);
    EXPECT_EQ(back[1], std::vector<std::string>{"x"});
}

}  // namespace
