// zqx report end to end: pages from results that zqx extract wrote, the index of several, and
// the errors a user can cause, each one line and a non-zero status with nothing half written.
#include <gtest/gtest.h>

#include "tests/report/extracted_results.h"

namespace zqx::test {
namespace {

TEST(ReportCommand, DrawsAnExtractedResultBesideIt) {
    ScratchDir dir("report_one");
    const std::string result = extractedResult(dir, "piece", 9.0);
    const CommandResult r = runZqx("report " + quoted(result));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    const std::string html = readText(dir.file("piece.html"));
    for (const char* part : {"id=\"chroma-svg\"", "id=\"bands-svg\"", "id=\"rhythm-svg\"", "id=\"level-svg\"",
                             "44100 Hz", "zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid"})
        EXPECT_NE(html.find(part), std::string::npos) << part;
    // The band energies the extraction wrote are drawn, not reported missing.
    EXPECT_EQ(html.find("no band-energy stream"), std::string::npos);

    const CommandResult named = runZqx("report " + quoted(result) + " -o " + quoted(dir.file("named.html")));
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_TRUE(fs::exists(dir.file("named.html")));
}

TEST(ReportCommand, IndexesSeveralResultsAndLinksEachReport) {
    ScratchDir dir("report_index");
    fs::create_directories(dir.path() / "sub dir");
    const std::string a = extractedResult(dir, "first", 5.0);
    const std::string b = withHandWrittenSummary(dir, a, "sub dir/second");
    const CommandResult r = runZqx("report " + quoted(a) + " " + quoted(b) + " -o " + quoted(dir.file("index.html")));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string index = readText(dir.file("index.html"));
    EXPECT_NE(index.find("href=\"first.html\""), std::string::npos);
    EXPECT_NE(index.find("href=\"sub%20dir/second.html\""), std::string::npos);
    EXPECT_NE(index.find(">C major</td>"), std::string::npos);
    // Each report links back to the index from its own folder.
    EXPECT_NE(readText(dir.file("sub dir/second.html")).find("href=\"../index.html\""), std::string::npos);
    EXPECT_NE(readText(dir.file("first.html")).find("href=\"index.html\""), std::string::npos);
}

TEST(ReportCommand, ErrorsAreOneLineAndLeaveNoPartialPage) {
    ScratchDir dir("report_errors");
    writeText(dir.file("broken.json"), "{\"features\": {\"chroma\": {\"times\": [0], \"values\": [[1, 2], [3]]}}}");
    writeText(dir.file("notjson.json"), "RIFF....WAVE");
    writeText(dir.file("list.json"), "[1, 2, 3]");
    const struct {
        std::string arguments;
        const char* message;
        std::string unwritten;
    } cases[] = {
        {quoted(dir.file("missing.json")), "cannot read", dir.file("missing.html")},
        {quoted(dir.file("notjson.json")), "is not JSON", dir.file("notjson.html")},
        {quoted(dir.file("list.json")), "not a zqx result", dir.file("list.html")},
        {quoted(dir.file("broken.json")), "has 1 times but 2 rows", dir.file("broken.html")},
        {quoted(dir.file("broken.json")) + " -o " + quoted(dir.file("broken.json")), "would replace the result", ""},
        {quoted(dir.path().string()), "it is a folder", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandResult r = runZqx("report " + c.arguments);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.rfind("zqx: ", 0), 0u) << r.err;
        if (!c.unwritten.empty()) {
            EXPECT_FALSE(fs::exists(c.unwritten));
        }
    }
    // The result given as its own output is left as it was.
    EXPECT_EQ(readText(dir.file("broken.json")).substr(0, 12), "{\"features\":");
    EXPECT_EQ(runZqx("report").status, 2);
}

TEST(ReportCommand, ACorpusWithABadResultIndexesTheRestAndFails) {
    ScratchDir dir("report_partial");
    const std::string good = extractedResult(dir, "good", 5.0);
    writeText(dir.file("bad.json"), "{");
    const CommandResult r = runZqx("report " + quoted(good) + " " + quoted(dir.file("bad.json")) + " -o " +
                                   quoted(dir.file("index.html")));
    EXPECT_EQ(r.status, 1);
    const std::vector<std::string> errors = lines(r.err);
    ASSERT_EQ(errors.size(), 2u) << r.err;
    EXPECT_NE(errors[0].find("bad.json"), std::string::npos);
    EXPECT_NE(errors[1].find("1 of 2 results could not be drawn"), std::string::npos);
    const std::string index = readText(dir.file("index.html"));
    EXPECT_NE(index.find("good.html"), std::string::npos);
    EXPECT_EQ(index.find("bad.html"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.file("bad.html")));
}

TEST(ExtractReport, PagesBesideTheResultsAndAnIndexForSeveralInputs) {
    ScratchDir dir("extract_report");
    fs::create_directories(dir.path() / "in" / "sub");
    ASSERT_TRUE(writeAudio(dir.file("in/a.wav"), synthesisedPiece(5.0), 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    ASSERT_TRUE(writeAudio(dir.file("in/sub/b c.wav"), synthesisedPiece(4.5), 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const std::string out = dir.file("out");
    CommandResult r = runZqx("extract -q --report -o " + quoted(out) + " " + quoted(dir.file("in")));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string index = readText(out + "/index.html");
    EXPECT_NE(index.find("href=\"a.html\""), std::string::npos);
    EXPECT_NE(index.find("href=\"sub/b%20c.html\""), std::string::npos);
    const std::string page = readText(out + "/sub/b c.html");
    EXPECT_NE(page.find("href=\"../index.html\""), std::string::npos);
    EXPECT_NE(page.find("id=\"chroma-svg\""), std::string::npos);
    // The page shows what its JSON says: the same file and band-energy stream.
    EXPECT_NE(page.find("b c.wav"), std::string::npos);
    EXPECT_EQ(page.find("no band-energy stream"), std::string::npos);

    // A resumed run draws the pages that are missing and indexes every input again.
    fs::remove(out + "/a.html");
    fs::remove(out + "/index.html");
    r = runZqx("extract -q --report --skip-existing -o " + quoted(out) + " " + quoted(dir.file("in")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(out + "/a.html"));
    EXPECT_NE(readText(out + "/index.html").find("href=\"sub/b%20c.html\""), std::string::npos);

    // One input: its page and no index.
    r = runZqx("extract -q --report -o " + quoted(dir.file("one")) + " " + quoted(dir.file("in/a.wav")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir.file("one/a.html")));
    EXPECT_FALSE(fs::exists(dir.file("one/index.html")));
    EXPECT_EQ(readText(dir.file("one/a.html")).find("corpus index"), std::string::npos);
}

}  // namespace
}  // namespace zqx::test
