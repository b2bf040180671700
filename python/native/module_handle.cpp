// Creating a plug-in instance from Python and exchanging numpy blocks with it.
#include "python/native/module_handle.h"

#include <exception>
#include <new>
#include <stdexcept>
#include <vector>

#include "framework/processing_module.h"
#include "host/module_chain.h"
#include "python/native/array_blocks.h"
#include "python/native/errors.h"
#include "python/native/package_locator.h"
#include "python/native/parameter_conversion.h"

namespace py = pybind11;

namespace zqx::python {

namespace {

std::string kindName(int kind) {
    switch (kind) {
        case RealVector: return "vector";
        case RealMatrix: return "matrix";
        case ComplexVector: return "complex vector";
        default: return "kind " + std::to_string(kind);
    }
}

}  // namespace

ModuleHandle::ModuleHandle(const std::string& name, const py::handle& params, const py::handle& globalParams)
    : m_name(name) {
    applyParameterDict(m_moduleParams, params, "params");
    host::ParameterMap given;
    applyParameterDict(given, globalParams, "global_params");
    // The CLI's globals for the rate asked for (44.1 kHz when none is), then the caller's entries.
    const int rate = given.getInt("samplingRate", 44100);
    m_globalParams = host::defaultGlobalParams(rate);
    for (const auto& [key, value] : given.values()) m_globalParams.set(key, value);

    const std::string path = packageLocator().find(name);

    py::gil_scoped_release release;
    m_library = std::make_shared<host::PluginLibrary>(path);
    try {
        m_instance = m_library->create(m_moduleParams, m_globalParams);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        throw ModuleFailure(m_name, error.what());
    } catch (...) {
        throw ModuleFailure(m_name, "rejected its parameters with an unknown exception");
    }
    m_moduleParams.clearReadLog();
    m_globalParams.clearReadLog();
}

py::array_t<float> ModuleHandle::process(const py::handle& block) {
    const InputBlock input = readInputBlock(block, "block");
    const int kind = m_instance->getInputKind();
    if (kind != RealVector && kind != RealMatrix)
        throw std::runtime_error(m_name + " takes " + kindName(kind) + " blocks, which zqx.Module cannot provide");
    if (kind == RealVector && input.ndim == 2)
        throw py::value_error("block must be 1-D: " + m_name + " reads vector blocks; got shape (" +
                              std::to_string(input.rows) + ", " + std::to_string(input.cols) + ")");

    std::vector<float> result;
    {
        py::gil_scoped_release release;
        const std::lock_guard<std::mutex> lock(m_mutex);
        // Modules only read their input; the block types are simply not const-qualified.
        float* elements = const_cast<float*>(input.data());
        DataBlock* output = nullptr;
        try {
            if (kind == RealVector) {
                const BaseVector<float> vector(elements, input.rows * input.cols);
                m_instance->process(output, &vector);
            } else {
                const BaseMatrix<float> matrix(elements, input.rows, input.cols);
                m_instance->process(output, &matrix);
            }
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& error) {
            throw ModuleFailure(m_name, error.what());
        } catch (...) {
            throw ModuleFailure(m_name, "failed with an unknown exception");
        }
        if (m_instance->getOutputKind() != RealVector)
            throw std::runtime_error(m_name + " returns " + kindName(m_instance->getOutputKind()) +
                                     " blocks, which zqx.Module cannot read");
        if (!output) throw std::runtime_error(m_name + " returned no output block");
        const auto* vector = static_cast<const BaseVector<float>*>(output);
        if (vector->size > 0 && !vector->data) throw std::runtime_error(m_name + " returned a block without data");
        result.assign(vector->data, vector->data + vector->size);
    }
    return copyToArray(result.data(), std::uint32_t(result.size()));
}

void ModuleHandle::setEndOfStream() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_instance->setEndOfStream();
}

bool ModuleHandle::isEndOfStream() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_instance->isEndOfStream();
}

std::uint32_t ModuleHandle::outputSize(std::uint32_t inputSize) const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_instance->getOutputSize(inputSize);
}

std::string ModuleHandle::inputKind() const { return kindName(m_instance->getInputKind()); }
std::string ModuleHandle::outputKind() const { return kindName(m_instance->getOutputKind()); }
std::string ModuleHandle::inputTypeName() const { return m_instance->getInputTypeName(); }
std::string ModuleHandle::outputTypeName() const { return m_instance->getOutputTypeName(); }
std::string ModuleHandle::parameterNote() const { return m_instance->getParameterNote(); }

py::dict ModuleHandle::info() const {
    // The instance's base class fixes the ModuleInfo layout, as it does for the zqx command.
    const ModuleInfoTexts texts = m_library->infoTexts(host::moduleInfoLayoutOf(*m_instance));
    py::dict result;
    result["author"] = texts.author;
    result["contact"] = texts.contact;
    result["owner_notice"] = texts.ownerNotice;
    result["date"] = texts.date;
    result["version"] = texts.version;
    result["description"] = texts.description;
    return result;
}

py::dict ModuleHandle::params() const { return parameterDict(m_moduleParams); }
py::dict ModuleHandle::globalParams() const { return parameterDict(m_globalParams); }

}  // namespace zqx::python
