// The pages in a real browser: headless Chromium loads each report of a small fixture set made by
// zqx extract and zqx report, takes a screenshot that must not be blank, dumps the DOM that must
// hold the expected panels, and logs no console message (a script error, a refused load).
#include <gtest/gtest.h>
#include <png.h>

#include <regex>
#include <set>

#include "tests/report/extracted_results.h"

namespace zqx::test {
namespace {

const std::string kChromium = ZQX_CHROMIUM;

struct BrowserRun {
    int status = -1;
    std::string out;
    std::vector<std::string> console;  // the page's console messages, as Chromium logs them
};

// One headless Chromium run with a fresh profile and everything that would reach the network off.
BrowserRun runChromium(const std::string& arguments, const std::string& url) {
    ScratchDir profile("chromium_profile");
    const std::string outPath = profile.file("out"), errPath = profile.file("err");
    const std::string command = "timeout 120 " + quoted(kChromium) +
                                " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                                " --disable-background-networking --disable-component-update --disable-sync"
                                " --hide-scrollbars --enable-logging=stderr --v=0 --user-data-dir=" +
                                quoted(profile.file("data")) + " " + arguments + " " + quoted(url) + " >" +
                                quoted(outPath) + " 2>" + quoted(errPath);
    const int raw = std::system(command.c_str());
    BrowserRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = readText(outPath);
    for (const std::string& line : lines(readText(errPath)))
        if (line.find(":CONSOLE") != std::string::npos || line.find("Refused to") != std::string::npos)
            run.console.push_back(line);
    return run;
}

std::string fileUrl(const std::string& path) { return "file://" + fs::absolute(path).string(); }

struct Screenshot {
    unsigned width = 0, height = 0;
    double inkFraction = 0.0;      // pixels that are not white
    std::size_t colours = 0;       // distinct colours, counted up to 5000
    bool hasViridisDark = false;   // a pixel near the bottom colour of the heat maps
};

Screenshot takeScreenshot(const std::string& url, const std::string& png, int width, int height) {
    const BrowserRun run = runChromium("--window-size=" + std::to_string(width) + "," + std::to_string(height) +
                                           " --screenshot=" + quoted(png),
                                       url);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.console.empty()) << run.console.front();
    Screenshot shot;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, png.c_str())) {
        ADD_FAILURE() << "no screenshot at " << png;
        return shot;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return shot;
    shot.width = image.width;
    shot.height = image.height;
    std::set<std::uint32_t> colours;
    std::size_t ink = 0;
    for (std::size_t i = 0; i + 2 < pixels.size(); i += 3) {
        const std::uint8_t r = pixels[i], g = pixels[i + 1], b = pixels[i + 2];
        if (r < 250 || g < 250 || b < 250) ++ink;
        if (colours.size() < 5000) colours.insert(std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | b);
        if (std::abs(r - 0x44) < 8 && std::abs(g - 0x01) < 8 && std::abs(b - 0x54) < 8) shot.hasViridisDark = true;
    }
    shot.inkFraction = double(ink) / double(image.width * image.height);
    shot.colours = colours.size();
    return shot;
}

std::string dumpDom(const std::string& url, const std::string& extra = "") {
    const BrowserRun run = runChromium("--dump-dom " + extra, url);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.console.empty()) << run.console.front();
    return run.out;
}

class BrowserTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (kChromium.empty()) return;
        s_dir = new ScratchDir("browser");
        // Four results: 9 s of music as extracted (with its summary), the same without a summary
        // (as results of zqx before summaries), with the hand-written summary, and 3 s, too short
        // for a rhythm vector.
        const std::string piece = extractedResult(*s_dir, "piece", 9.0);
        ordered_json bare = ordered_json::parse(readText(piece));
        bare.erase("summary");
        writeText(s_dir->file("bare.json"), bare.dump());
        const std::string summary = withHandWrittenSummary(*s_dir, piece, "summary");
        const std::string shortPiece = extractedResult(*s_dir, "short", 3.0);
        const CommandResult r = runZqx("report " + quoted(piece) + " " + quoted(s_dir->file("bare.json")) + " " +
                                       quoted(summary) + " " + quoted(shortPiece) + " -o " +
                                       quoted(s_dir->file("index.html")));
        ASSERT_EQ(r.status, 0) << r.err;
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        if (kChromium.empty()) FAIL() << "chromium not found when the build was configured: run tools/install-deps.sh";
    }
    static ScratchDir* s_dir;
};

ScratchDir* BrowserTest::s_dir = nullptr;

TEST_F(BrowserTest, EveryReportRendersItsPanelsWithoutConsoleMessages) {
    const struct {
        const char* page;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    } cases[] = {
        // The extraction's own summary: chords, key, a tempo mark and the loudness figures.
        {"piece.html",
         {"id=\"chroma-svg\"", "id=\"bands-svg\"", "id=\"rhythm-svg\"", "id=\"profile-svg\"", "id=\"level-svg\"",
          "class=\"chord\"", "Key: ", ">tempo ", "EBU R128: integrated"},
         {"profile peak", "Key: not in this result", "EBU R128 loudness: not in this result"}},
        {"bare.html",
         {"id=\"chroma-svg\"", "id=\"rhythm-svg\"", "profile peak", "Key: not in this result",
          "EBU R128 loudness: not in this result"},
         {"class=\"chord\""}},
        {"summary.html",
         {"id=\"chroma-svg\"", "class=\"chord\"", "Key: C major", "tempo 120.0 BPM", "-17.3 LUFS", "id=\"level-svg\""},
         {"profile peak"}},
        {"short.html", {"id=\"chroma-svg\"", "id=\"bands-svg\"", "no rhythm vectors", "id=\"level-svg\""},
         {"id=\"rhythm-svg\""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        const std::string url = fileUrl(s_dir->file(c.page));
        const Screenshot shot = takeScreenshot(url, s_dir->file(std::string(c.page) + ".png"), 1280, 2000);
        EXPECT_EQ(shot.width, 1280u);
        EXPECT_GT(shot.inkFraction, 0.15);
        EXPECT_GT(shot.colours, 200u);
        EXPECT_TRUE(shot.hasViridisDark);  // the heat maps were drawn, not only the text
        const std::string dom = dumpDom(url);
        for (const std::string& part : c.present) EXPECT_NE(dom.find(part), std::string::npos) << part;
        for (const std::string& part : c.absent) EXPECT_EQ(dom.find(part), std::string::npos) << part;
        EXPECT_NE(dom.find("corpus index</a>"), std::string::npos);
    }
}

TEST_F(BrowserTest, TheIndexSortsOnOpening) {
    const std::string url = fileUrl(s_dir->file("index.html"));
    const Screenshot shot = takeScreenshot(url, s_dir->file("index.png"), 1280, 400);
    EXPECT_GT(shot.inkFraction, 0.02);

    auto order = [](const std::string& dom) {
        std::vector<std::string> links;
        const std::regex link("href=\"([a-z]+)\\.html\"");
        for (auto it = std::sregex_iterator(dom.begin(), dom.end(), link); it != std::sregex_iterator(); ++it)
            links.push_back((*it)[1]);
        return links;
    };
    // Input order as written; by duration (3 s first) and by tempo, descending, once sorted.
    EXPECT_EQ(order(readText(s_dir->file("index.html"))),
              (std::vector<std::string>{"piece", "bare", "summary", "short"}));
    const std::string byDuration = dumpDom(url + "#sort=duration");
    EXPECT_EQ(order(byDuration)[0], "short");
    EXPECT_NE(byDuration.find("data-key=\"duration\" class=\"num\" aria-sort=\"ascending\""), std::string::npos);
    // The result without a summary has no tempo: it sorts last either way.
    EXPECT_EQ(order(dumpDom(url + "#sort=-tempo_bpm")).back(), "bare");
    EXPECT_EQ(order(dumpDom(url + "#sort=tempo_bpm")).back(), "bare");
}

TEST_F(BrowserTest, ThePeakMeanSwitchWorksWithoutScript) {
    // A copy of the page with a probe script (the page's own policy forbids scripts, so the copy
    // drops it): check the mean half, then read which chroma image the style sheet shows.
    std::string html = readText(s_dir->file("summary.html"));
    html = std::regex_replace(html, std::regex("<meta http-equiv=\"Content-Security-Policy\"[^>]*>"), "");
    const std::string probe =
        "<script>var m=document.getElementById('half-mean');var before=getComputedStyle(document.querySelector("
        "'.half-mean')).display;m.checked=true;document.body.setAttribute('data-probe',before+'/'+"
        "getComputedStyle(document.querySelector('.half-peak')).display+'/'+getComputedStyle(document."
        "querySelector('.half-mean')).display);</script></body>";
    html = std::regex_replace(html, std::regex("</body>"), probe);
    writeText(s_dir->file("probe.html"), html);
    const std::string dom = dumpDom(fileUrl(s_dir->file("probe.html")));
    // Before: the mean half hidden; after checking it: the peak half hidden and the mean one shown.
    EXPECT_NE(dom.find("data-probe=\"none/none/inline\""), std::string::npos) << dom.substr(0, 300);
}

}  // namespace
}  // namespace zqx::test
