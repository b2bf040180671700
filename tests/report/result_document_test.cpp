// Reading result documents: the parts a report draws, the summary, and every wrongly shaped
// field named in one clear error.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "report/file_report.h"
#include "report/result_document.h"
#include "tests/report/result_fixture.h"

namespace zqx::report {
namespace {

using test::makeResult;
using nlohmann::ordered_json;

TEST(ResultDocument, ReadsFactsStreamsAndSettings) {
    const ResultDocument doc = readResultDocument(makeResult(10.0, false));
    EXPECT_EQ(doc.file, "music/piece.wav");
    EXPECT_EQ(doc.sampleRate, 44100);
    EXPECT_EQ(doc.channels, 2);
    EXPECT_DOUBLE_EQ(doc.durationSeconds, 10.0);
    EXPECT_EQ(doc.chroma.width, 24u);
    EXPECT_EQ(doc.chroma.rows(), 108u);
    EXPECT_DOUBLE_EQ(doc.chromaBlockSeconds, 4096.0 / 44100);
    EXPECT_EQ(doc.rhythmFirstLagColumn, 24);
    ASSERT_EQ(doc.rhythmLags.size(), 70u);
    EXPECT_EQ(doc.rhythmLags.front(), 30);
    EXPECT_EQ(doc.rhythmLags.back(), 99);
    EXPECT_DOUBLE_EQ(doc.rhythmGroupSeconds, 4.0);
    EXPECT_DOUBLE_EQ(doc.bandRowSeconds, 0.1);
    EXPECT_EQ(doc.bandEdgesHz.size(), 25u);
    ASSERT_TRUE(doc.dynamicRange);
    EXPECT_DOUBLE_EQ(*doc.dynamicRange, 1.5);
    ASSERT_EQ(doc.modules.size(), 2u);
    EXPECT_EQ(doc.modules[0].version, "2.0");
    const std::vector<std::pair<std::string, std::string>> expected = {{"loedge", "100"}, {"useMRFFT", "false"}};
    EXPECT_EQ(doc.modules[0].moduleParams, expected);
    EXPECT_FALSE(doc.summary.present);
    // The time axis covers the last chroma block's end, past the 10 s of audio.
    EXPECT_DOUBLE_EQ(doc.timeExtent(), 108 * 4096.0 / 44100);
}

TEST(ResultDocument, ReadsTheSummaryFields) {
    const Summary s = readResultDocument(makeResult(8.0, true)).summary;
    ASSERT_TRUE(s.present && s.tempo && s.key && s.loudness && s.dynamicRange);
    EXPECT_DOUBLE_EQ(s.tempo->bpm, 120.0);
    EXPECT_DOUBLE_EQ(s.tempo->confidence, 0.82);
    EXPECT_TRUE(s.tempo->steady);
    ASSERT_EQ(s.tempo->candidates.size(), 4u);
    EXPECT_DOUBLE_EQ(s.tempo->candidates[2].bpm, 240.0);
    EXPECT_DOUBLE_EQ(s.tempo->candidates[2].weight, 0.1);
    EXPECT_EQ(s.key->name, "C major");
    EXPECT_EQ(s.key->mode, "major");
    ASSERT_EQ(s.chords.size(), 5u);
    EXPECT_EQ(s.chords[1].label, "A:min");
    EXPECT_DOUBLE_EQ(s.chords[3].end, 7.95);
    EXPECT_DOUBLE_EQ(s.loudness->integratedLufs, -17.3);
    EXPECT_DOUBLE_EQ(s.loudness->rangeLu, 6.4);
    EXPECT_DOUBLE_EQ(s.loudness->samplePeakDbfs, -1.2);
    EXPECT_DOUBLE_EQ(*s.dynamicRange, 0.412);
}

TEST(ResultDocument, NullValuesReadAsNaN) {
    // nlohmann writes NaN and infinities as null; silence gives an integrated loudness of -inf.
    ordered_json json = makeResult(5.0, true);
    json["features"]["chroma"]["values"][3][2] = nullptr;
    json["summary"]["loudness"]["integrated_lufs"] = nullptr;
    const ResultDocument doc = readResultDocument(json);
    EXPECT_TRUE(std::isnan(doc.chroma.row(3)[2]));
    EXPECT_TRUE(std::isnan(doc.summary.loudness->integratedLufs));
}

TEST(ResultDocument, ASummaryThatFoundNothingHasNoKeyAndNoTempo) {
    // How a result of silence or speech says it: null key names, a null tempo, no chords.
    ordered_json json = makeResult(5.0, true);
    json["summary"]["key"] = {{"tonic", nullptr}, {"mode", nullptr}, {"name", nullptr}, {"confidence", 0.0}};
    json["summary"]["tempo"]["bpm"] = nullptr;
    json["summary"]["tempo"]["steady"] = false;
    json["summary"]["chords"] = ordered_json::array();
    const ResultDocument doc = readResultDocument(json);
    EXPECT_FALSE(doc.summary.key);
    ASSERT_TRUE(doc.summary.tempo);
    EXPECT_TRUE(std::isnan(doc.summary.tempo->bpm));
    EXPECT_TRUE(doc.summary.chords.empty());
    const std::string html = renderFileReport(doc);
    EXPECT_NE(html.find("Key: none found"), std::string::npos);
    EXPECT_NE(html.find("Tempo \u2013 BPM"), std::string::npos);
    EXPECT_EQ(html.find("tempo \u2013 BPM"), std::string::npos);  // no marker line for a missing tempo
    EXPECT_NE(html.find(">80.0 (w 0.07)</text>"), std::string::npos);
}

TEST(ResultDocument, PartsAResultLacksStayEmpty) {
    ordered_json json = makeResult(5.0, false);
    json["features"].erase("bandEnergy");
    json["features"].erase("rhythm");
    json.erase("modules");
    json["summary"] = {{"key", {{"tonic", "A"}, {"mode", "minor"}}}};
    const ResultDocument doc = readResultDocument(json);
    EXPECT_TRUE(doc.bandEnergy.empty());
    EXPECT_TRUE(doc.rhythm.empty());
    EXPECT_TRUE(doc.rhythmLags.empty());
    EXPECT_TRUE(doc.modules.empty());
    EXPECT_FALSE(doc.summary.tempo);
    ASSERT_TRUE(doc.summary.key);
    EXPECT_EQ(doc.summary.key->name, "A minor");  // made from tonic and mode when the name is missing
}

struct BadShape {
    const char* name;
    std::function<void(ordered_json&)> damage;
    const char* message;
};

TEST(ResultDocument, WronglyShapedFieldsAreNamed) {
    const std::vector<BadShape> cases = {
        {"not an object", [](ordered_json& j) { j = ordered_json::array(); }, "not a JSON object"},
        {"no features", [](ordered_json& j) { j.erase("features"); }, "no 'features' object"},
        {"times and rows differ", [](ordered_json& j) { j["features"]["chroma"]["times"].erase(0); },
         "features.chroma' has 96 times but 97 rows"},
        {"ragged rows", [](ordered_json& j) { j["features"]["chroma"]["values"][5].erase(0); },
         "row 5 has 23 values, row 0 has 24"},
        {"text value", [](ordered_json& j) { j["features"]["rhythm"]["values"][0][3] = "x"; },
         "features.rhythm.values' is not a number"},
        {"negative time", [](ordered_json& j) { j["features"]["bandEnergy"]["times"][2] = -1.0; },
         "negative or not finite"},
        {"values without times", [](ordered_json& j) { j["features"]["chroma"].erase("times"); },
         "features.chroma.times' is missing"},
        {"columns miscounted", [](ordered_json& j) { j["features"]["chroma"]["columns"].erase(0); },
         "names 23 columns for rows of 24"},
        {"bad lag column", [](ordered_json& j) { j["features"]["rhythm"]["columns"][30] = "lag_x"; },
         "bad lag column 'lag_x'"},
        {"lags not consecutive", [](ordered_json& j) { j["features"]["rhythm"]["columns"][0] = "lag_7"; },
         "not consecutive"},
        {"negative rate", [](ordered_json& j) { j["sampleRate"] = -5; }, "'sampleRate' is not a whole number"},
        {"chord ends before it starts", [](ordered_json& j) { j["summary"]["chords"][1]["end"] = 1.0; },
         "summary.chords"},
        {"steady not a flag", [](ordered_json& j) { j["summary"]["tempo"]["steady"] = "yes"; },
         "summary.tempo.steady' is not true or false"},
        {"candidates not a list", [](ordered_json& j) { j["summary"]["tempo"]["candidates"] = 3; },
         "summary.tempo.candidates' is not an array"},
        {"key name a number", [](ordered_json& j) { j["summary"]["key"]["name"] = 5; }, "summary.key.name' is not a text"},
    };
    for (const BadShape& c : cases) {
        SCOPED_TRACE(c.name);
        ordered_json json = makeResult(9.0, true);
        c.damage(json);
        try {
            readResultDocument(json);
            ADD_FAILURE() << "accepted";
        } catch (const ResultFormatError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
        }
    }
}

TEST(ResultDocument, FilesThatCannotBeReadNameThePath) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zqx_report_document_test";
    std::filesystem::create_directories(dir);
    const std::string notJson = (dir / "broken.json").string();
    std::ofstream(notJson) << "{\"features\": [1, 2";
    const std::string valid = (dir / "valid.json").string();
    std::ofstream(valid) << makeResult(5.0, false).dump();
    const struct {
        std::string path;
        const char* message;
    } cases[] = {
        {(dir / "missing.json").string(), "cannot read"},
        {dir.string(), "it is a folder"},
        {notJson, "is not JSON"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            loadResultDocument(c.path);
            ADD_FAILURE() << "accepted";
        } catch (const ResultFormatError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find("'" + c.path + "'"), std::string::npos) << message;
            EXPECT_NE(message.find(c.message), std::string::npos) << message;
        }
    }
    EXPECT_EQ(loadResultDocument(valid).chroma.rows(), 54u);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zqx::report
