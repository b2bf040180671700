// The extract chain's functions in zqx._native (Plan, extract_array, extract_file, extract_files,
// extract_file_to, read_document, corpus_inputs,
// unique_output_names, report_files, SummaryTable), which zqx/_extract.py and zqx/dask.py wrap.
#pragma once

#include <pybind11/pybind11.h>

namespace zqx::python {

void bindExtraction(pybind11::module_& module);

}  // namespace zqx::python
