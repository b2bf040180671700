// Python bindings of the extract chain; every run releases the GIL.
#include "python/native/extraction_bindings.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include "host/corpus_inputs.h"
#include "host/feature_report.h"
#include "host/output_names.h"
#include "host/summary_table.h"
#include "python/native/array_blocks.h"
#include "python/native/chain_settings.h"
#include "python/native/extraction.h"
#include "python/native/package_locator.h"

namespace py = pybind11;

namespace zqx::python {

namespace {

// The settings with every plug-in loaded: shared by the threads of one call and by the calls a
// worker process makes.
struct PlanHandle {
    std::shared_ptr<const host::FeatureChainPlan> plan;
};

// values as a C-ordered array of that shape that owns them: moved, never copied.
template <typename T>
py::array_t<T> ownedArray(std::vector<T>&& values, std::vector<py::ssize_t> shape) {
    auto* storage = new std::vector<T>(std::move(values));
    py::capsule owner(storage, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(std::move(shape), storage->data(), owner);
}

// (document bytes, {stream: (values rows x width, times)}, bands frames x bands)
py::tuple extractionTuple(Extraction& extraction) {
    py::dict streams;
    for (StreamArrays& stream : extraction.streams) {
        const auto rows = py::ssize_t(stream.times.size());
        streams[py::str(stream.name)] =
            py::make_tuple(ownedArray(std::move(stream.values), {rows, py::ssize_t(stream.width)}),
                           ownedArray(std::move(stream.times), {rows}));
    }
    const auto bandCount = py::ssize_t(extraction.bandCount);
    const auto frames = bandCount > 0 ? py::ssize_t(extraction.bands.size()) / bandCount : 0;
    return py::make_tuple(py::bytes(extraction.document), std::move(streams),
                          ownedArray(std::move(extraction.bands), {frames, bandCount}));
}

}  // namespace

void bindExtraction(py::module_& m) {
    py::class_<PlanHandle>(m, "Plan", "The extract chain's settings with every plug-in loaded.")
        .def(py::init([](const py::dict& settings) {
                 host::FeatureChainSettings chain = chainSettings(settings);
                 return PlanHandle{std::make_shared<const host::FeatureChainPlan>(std::move(chain), packageLocator())};
             }),
             py::arg("settings"))
        .def_property_readonly("plugins", [](const PlanHandle& handle) {
            std::vector<std::pair<std::string, std::string>> plugins;
            for (std::size_t i = 0; i < handle.plan->settings().stages.size(); ++i)
                plugins.emplace_back(handle.plan->settings().stages[i].plugin, handle.plan->library(i)->path());
            return plugins;
        });

    m.def("extract_array", [](const PlanHandle& handle, const py::handle& samples, int sampleRate) {
        const InputBlock block = readInputBlock(samples, "samples", false);
        if (sampleRate < 1) throw py::value_error("sr must be a positive number of Hz; got " + std::to_string(sampleRate));
        Extraction extraction;
        {
            py::gil_scoped_release release;
            extraction = extractSamples(*handle.plan, block.data(), block.cols, sampleRate, "<array>");
        }
        return extractionTuple(extraction);
    });

    m.def("extract_file", [](const PlanHandle& handle, const std::string& path) {
        Extraction extraction;
        {
            py::gil_scoped_release release;
            extraction = extractFile(*handle.plan, path);
        }
        return extractionTuple(extraction);
    });

    m.def("extract_files", [](const PlanHandle& handle, const std::vector<std::string>& paths, int threads) {
        std::vector<FileOutcome> outcomes;
        {
            py::gil_scoped_release release;
            outcomes = extractFiles(*handle.plan, paths, threads);
        }
        py::list result;
        for (FileOutcome& outcome : outcomes) {
            if (outcome.ok)
                result.append(py::make_tuple(extractionTuple(outcome.extraction), py::none()));
            else
                result.append(py::make_tuple(py::none(), outcome.error));
        }
        return result;
    });

    m.def("extract_file_to", [](const PlanHandle& handle, const std::string& path, const std::string& outputDir,
                                const std::string& stem) {
        WrittenResult written;
        {
            py::gil_scoped_release release;
            written = extractFileTo(*handle.plan, path, outputDir, stem);
        }
        return py::make_tuple(py::bytes(written.document), py::cast(written.summaryRow));
    });

    // A result document written earlier, without its streams' numbers; None when the file cannot
    // be read or is not JSON.
    m.def("read_document", [](const std::string& path) -> py::object {
        bool readable = false;
        std::string document;
        {
            py::gil_scoped_release release;
            std::ifstream file(path, std::ios::binary);
            std::ostringstream text;
            if (file && text << file.rdbuf()) {
                try {
                    document = withoutStreamNumbers(text.str());
                    readable = true;
                } catch (const std::exception&) {
                }
            }
        }
        if (!readable) return py::none();
        return py::bytes(document);
    });

    m.def("corpus_inputs", [](const std::vector<std::string>& arguments) {
        std::vector<host::CorpusInput> inputs;
        {
            py::gil_scoped_release release;
            inputs = host::expandCorpusInputs(arguments);
        }
        std::vector<std::pair<std::string, std::string>> result;
        for (const host::CorpusInput& input : inputs) result.emplace_back(input.path, input.name);
        return result;
    });

    // The zqx command's summary.csv: rows appended as inputs complete, sorted by path at the end.
    py::class_<host::SummaryTable>(m, "SummaryTable")
        .def(py::init<const std::string&>(), py::arg("output_dir"))
        .def("append", &host::SummaryTable::append, py::arg("fields"), py::call_guard<py::gil_scoped_release>())
        .def("sort", &host::SummaryTable::sort, py::call_guard<py::gil_scoped_release>())
        .def_property_readonly("path", &host::SummaryTable::path);
    m.attr("SUMMARY_COLUMNS") = py::cast(host::summaryTableColumns());

    // The zqx command's output names for a run's inputs: unique, the same from run to run.
    m.def("unique_output_names", &host::uniqueOutputNames, py::arg("wanted"));

    m.def("report_files", [](const PlanHandle& handle, const std::string& outputDir, const std::string& stem) {
        return host::featureReportFiles(outputDir, stem, handle.plan->settings());
    });
}

}  // namespace zqx::python
