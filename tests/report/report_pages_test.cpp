// The pictures and pages: heat-map images decoded back to pixels, axis ticks, the file report's
// panels with and without a summary, escaping, size, and the corpus index.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstring>
#include <regex>

#include "report/corpus_index.h"
#include "report/file_report.h"
#include "report/heat_image.h"
#include "report/svg_picture.h"
#include "report/viridis.h"
#include "tests/report/result_fixture.h"

namespace zqx::report {
namespace {

using test::makeResult;

std::vector<std::uint8_t> unbase64(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<std::uint8_t> out;
    std::uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') break;
        bits = bits << 6 | std::uint32_t(alphabet.find(c));
        if ((count += 6) >= 8) {
            count -= 8;
            out.push_back(std::uint8_t(bits >> count));
        }
    }
    return out;
}

struct Decoded {
    unsigned width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
};

Decoded decodePng(const std::string& dataUri) {
    const std::string prefix = "data:image/png;base64,";
    EXPECT_EQ(dataUri.compare(0, prefix.size(), prefix), 0);
    const std::vector<std::uint8_t> png = unbase64(dataUri.substr(prefix.size()));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Decoded d;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return d;
    image.format = PNG_FORMAT_RGBA;
    d.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, d.rgba.data(), 0, nullptr)) return d;
    d.width = image.width;
    d.height = image.height;
    return d;
}

TEST(HeatImage, Base64MatchesTheStandardVectors) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : cases)
        EXPECT_EQ(base64(reinterpret_cast<const std::uint8_t*>(plain), std::strlen(plain)), encoded) << plain;
}

TEST(HeatImage, PixelsDecodeToViridisWithRowZeroAtTheBottom) {
    // 3 rows x 2 columns: column 0 = 0, 0.5, 1 (rows 0..2); column 1 = NaN, 1, 2 (2 clips to 1).
    HeatGrid grid;
    grid.rows = 3;
    grid.columns = 2;
    grid.values = {0.0f, 0.5f, 1.0f, std::nanf(""), 1.0f, 2.0f};
    const Decoded d = decodePng(heatImageDataUri(grid, 0.0, 1.0));
    ASSERT_EQ(d.width, 2u);
    ASSERT_EQ(d.height, 3u);
    auto pixel = [&](unsigned x, unsigned y) { return &d.rgba[(y * d.width + x) * 4]; };
    const struct {
        unsigned x, y;
        double t;  // NaN: transparent
    } expected[] = {{0, 2, 0.0}, {0, 1, 0.5}, {0, 0, 1.0}, {1, 2, std::nan("")}, {1, 1, 1.0}, {1, 0, 1.0}};
    for (const auto& e : expected) {
        SCOPED_TRACE(std::to_string(e.x) + "," + std::to_string(e.y));
        const std::uint8_t* p = pixel(e.x, e.y);
        if (std::isnan(e.t)) {
            EXPECT_EQ(p[3], 0);
            continue;
        }
        const Rgb c = viridis(e.t);
        EXPECT_EQ(p[0], c.r);
        EXPECT_EQ(p[1], c.g);
        EXPECT_EQ(p[2], c.b);
        EXPECT_EQ(p[3], 255);
    }
    EXPECT_EQ(viridisHex(0.0), "#440154");
    EXPECT_EQ(viridisHex(1.0), "#fde725");
}

TEST(HeatImage, DownsamplingAveragesTheColumnsEachPixelCovers) {
    HeatGrid grid;
    grid.rows = 2;
    grid.columns = 7;
    for (int c = 0; c < 7; ++c) {
        grid.values.push_back(float(c));
        grid.values.push_back(c == 1 || c == 2 ? std::nanf("") : 10.0f);
    }
    const HeatGrid out = downsampleColumns(grid, 3);
    ASSERT_EQ(out.columns, 3u);
    // Source columns per output column: [0,2), [2,4), [4,7).
    EXPECT_FLOAT_EQ(out.at(0, 0), 0.5f);
    EXPECT_FLOAT_EQ(out.at(0, 1), 2.5f);
    EXPECT_FLOAT_EQ(out.at(0, 2), 5.0f);
    EXPECT_FLOAT_EQ(out.at(1, 0), 10.0f);  // the NaN of column 1 is left out of the mean
    EXPECT_FLOAT_EQ(out.at(1, 1), 10.0f);
    EXPECT_EQ(downsampleColumns(grid, 7).values.size(), grid.values.size());
    HeatGrid allNan = grid;
    for (float& v : allNan.values) v = std::nanf("");
    EXPECT_TRUE(std::isnan(downsampleColumns(allNan, 2).at(0, 1)));
}

TEST(SvgText, TicksNumbersAndEscaping) {
    EXPECT_EQ(niceTicks(0, 20, 10), (std::vector<double>{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20}));
    EXPECT_EQ(niceTicks(0, 600, 10), (std::vector<double>{0, 100, 200, 300, 400, 500, 600}));
    EXPECT_EQ(niceTicks(0, 3600, 10).size(), 7u);  // every 10 minutes
    EXPECT_EQ(niceTicks(0, 3600, 10)[1], 600.0);
    EXPECT_EQ(niceTicks(-90, -10, 6), (std::vector<double>{-80, -60, -40, -20}));
    EXPECT_TRUE(niceTicks(5, 5, 10).empty());
    EXPECT_TRUE(niceTicks(0, std::nan(""), 10).empty());
    EXPECT_EQ(formatNumber(std::nan(""), 1), "\u2013");
    EXPECT_EQ(formatNumber(-0.04, 1), "0.0");
    EXPECT_EQ(formatNumber(-17.25, 1), "-17.2");
    EXPECT_EQ(formatDuration(600.0), "10:00");
    EXPECT_EQ(escapeHtml("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;");
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(FileReport, DrawsEveryPanelAndTheSummary) {
    const std::string html = renderFileReport(readResultDocument(makeResult(8.0, true)));
    for (const char* id : {"id=\"chroma-svg\"", "id=\"bands-svg\"", "id=\"rhythm-svg\"", "id=\"profile-svg\"",
                           "id=\"level-svg\"", "id=\"facts\"", "class=\"half-peak\"", "class=\"half-mean\""})
        EXPECT_NE(html.find(id), std::string::npos) << id;
    // Every picture has a title, and the time panels an axis title with the unit.
    EXPECT_EQ(count(html, "<svg "), 5u);
    EXPECT_EQ(count(html, "<title id="), 5u);
    EXPECT_EQ(count(html, ">time (s)</text>"), 4u);
    EXPECT_NE(html.find("Key: C major (confidence 0.74)"), std::string::npos);
    // Four chord labels fit their segments; the 0.1 s "N" segment keeps its label in the tooltip.
    for (const char* label : {">C:maj</text>", ">A:min</text>", ">F:maj</text>", ">G:maj</text>"})
        EXPECT_NE(html.find(label), std::string::npos) << label;
    EXPECT_EQ(html.find(">N</text>"), std::string::npos);
    EXPECT_NE(html.find("<title>N: 7.95\u20138.00 s</title>"), std::string::npos);
    EXPECT_NE(html.find("tempo 120.0 BPM"), std::string::npos);
    EXPECT_NE(html.find(">80.0 (w 0.07)</text>"), std::string::npos);
    // 60 and 240 BPM lie outside lags 30..99 of 10 ms and are listed instead of drawn.
    EXPECT_NE(html.find("Outside the drawn lag range: 60.0 (w 0.22), 240.0 (w 0.10)."), std::string::npos);
    EXPECT_NE(html.find("integrated -17.3 LUFS, loudness range 6.4 LU, sample peak -1.2 dBFS"), std::string::npos);
    EXPECT_NE(html.find("Dynamic range (zqx_swellgrid): 0.412"), std::string::npos);  // the summary's, not 1.5
    EXPECT_NE(html.find("<th scope=\"row\">loedge</th><td>100</td>"), std::string::npos);
    // No script: the pictures and the peak/mean switch (CSS) work with scripts off.
    EXPECT_EQ(html.find("<script"), std::string::npos);
}

TEST(FileReport, SaysWhatAResultLacks) {
    nlohmann::ordered_json json = makeResult(3.0, false);
    json["features"].erase("bandEnergy");
    json["features"]["rhythm"]["times"] = nlohmann::ordered_json::array();
    json["features"]["rhythm"]["values"] = nlohmann::ordered_json::array();
    const std::string html = renderFileReport(readResultDocument(json));
    EXPECT_NE(html.find("Key: not in this result"), std::string::npos);
    EXPECT_NE(html.find("no band-energy stream"), std::string::npos);
    EXPECT_NE(html.find("no rhythm vectors"), std::string::npos);
    EXPECT_NE(html.find("EBU R128 loudness: not in this result"), std::string::npos);
    EXPECT_NE(html.find("Dynamic range (zqx_swellgrid): 1.500"), std::string::npos);
    EXPECT_EQ(html.find("id=\"level-svg\""), std::string::npos);
}

TEST(FileReport, TextFromTheResultCannotBecomeMarkup) {
    nlohmann::ordered_json json = makeResult(8.0, true);
    json["file"] = "a/<script>alert(1)</script>.wav";
    json["summary"]["chords"][0]["label"] = "<img src=x onerror=alert(2)>";
    json["summary"]["key"]["name"] = "\"><svg onload=alert(3)>";
    json["modules"][0]["moduleParams"]["<b>"] = "</table><script>";
    const std::string html = renderFileReport(readResultDocument(json));
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("<img"), std::string::npos);
    EXPECT_EQ(html.find("<svg onload"), std::string::npos);
    EXPECT_EQ(html.find("<b>"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
}

TEST(FileReport, ATenMinuteResultStaysSmallAndSelfContained) {
    const std::string html = renderFileReport(readResultDocument(makeResult(600.0, true)));
    EXPECT_LT(html.size(), 1500u * 1000u);
    EXPECT_NE(html.find("6460 blocks drawn as 1000 columns"), std::string::npos);
    EXPECT_NE(html.find("6000 rows drawn as 1000 columns"), std::string::npos);
    // Nothing is fetched: the only URL is the SVG namespace name, which is never loaded.
    std::string rest = std::regex_replace(html, std::regex("xmlns=\"http://www.w3.org/2000/svg\""), "");
    EXPECT_EQ(rest.find("http:"), std::string::npos);
    EXPECT_EQ(rest.find("https:"), std::string::npos);
    EXPECT_EQ(rest.find(" src="), std::string::npos);
    EXPECT_EQ(rest.find("@import"), std::string::npos);
    // Every image is inline data.
    EXPECT_EQ(count(rest, "href=\"data:image/png;base64,"), count(rest, "<image "));
}

TEST(CorpusIndex, RowsLinksAndSortKeys) {
    std::vector<IndexEntry> entries;
    nlohmann::ordered_json a = makeResult(5.0, true);
    a["file"] = "x/b&c.wav";
    nlohmann::ordered_json b = makeResult(9.0, false);
    entries.push_back({percentEncodePath("x/b&c #1.html"), readResultDocument(a)});
    entries.push_back({"piece.html", readResultDocument(b)});
    const std::string html = renderCorpusIndex(entries);
    EXPECT_EQ(count(html, "<tr>"), 3u);  // heading and two rows
    EXPECT_NE(html.find("<a href=\"x/b%26c%20%231.html\">x/b&amp;c.wav</a>"), std::string::npos);
    // Numbers sort by their value; a missing value has an empty key and sorts last.
    EXPECT_NE(html.find("data-v=\"120\">120.0</td>"), std::string::npos);
    EXPECT_NE(html.find("data-v=\"-17.3\">-17.3</td>"), std::string::npos);
    EXPECT_NE(html.find("data-v=\"\">\u2013</td>"), std::string::npos);
    EXPECT_NE(html.find("data-v=\"1.5\">1.500</td>"), std::string::npos);  // dynamics value without a summary
    for (const std::string& key : indexColumnKeys())
        EXPECT_NE(html.find("data-key=\"" + key + "\""), std::string::npos) << key;
    EXPECT_EQ(percentEncodePath("a b/ü?.html"), "a%20b/%C3%BC%3F.html");
}

}  // namespace
}  // namespace zqx::report
