// Views and owning containers of vectors and matrices (BaseVector, Vector, BaseMatrix, Matrix).
//
// Storage rules: an owning container sizes its storage exactly to the requested element count and
// never over-allocates; a Vector's size doubles as its storage length for growth decisions, so
// shrinking keeps the storage and a later growth past the current size reallocates. Views never
// free anything and are valid only while the storage they point into lives.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "qvt/data_block.h"
#include "qvt/qvt_exception.h"

template <typename T>
class BaseVector : public DataBlock {
public:
    BaseVector() = default;
    BaseVector(T* elements, std::uint32_t count) : data(elements), size(count) {}

    // View of `length` elements from `start`. start + length == size is allowed (so is length 0).
    BaseVector subvector(std::uint32_t start, std::uint32_t length) const {
        if (static_cast<std::uint64_t>(start) + length > size)
            throw QVTException("subvector parameters out of range", "qvt/base_vector", 256);
        return BaseVector(data + start, length);
    }

    T* data = nullptr;
    std::uint32_t size = 0;
};

template <typename T>
class Vector : public BaseVector<T> {
public:
    using BaseVector<T>::data;
    using BaseVector<T>::size;

    Vector() = default;
    // Storage for n elements, contents undefined; n = 0 still allocates, so data is not null.
    explicit Vector(std::uint32_t n) { allocate(n); }
    Vector(std::uint32_t n, const T& value) {
        allocate(n);
        for (std::uint32_t i = 0; i < n; ++i) data[i] = value;
    }
    Vector(const Vector& other) : Vector(static_cast<const BaseVector<T>&>(other)) {}
    explicit Vector(const BaseVector<T>& other) {
        allocate(other.size);
        copyFrom(other);
    }
    Vector(Vector&& other) noexcept {
        data = std::exchange(other.data, nullptr);
        size = std::exchange(other.size, 0u);
    }
    ~Vector() override { delete[] data; }

    Vector& operator=(const Vector& other) { return assign(other); }
    Vector& operator=(const BaseVector<T>& other) { return assign(other); }
    Vector& operator=(Vector&& other) noexcept {
        if (this != &other) {
            delete[] data;
            data = std::exchange(other.data, nullptr);
            size = std::exchange(other.size, 0u);
        }
        return *this;
    }

    // Grows to n keeping the first `size` elements; shrinking keeps the storage.
    void resize(std::uint32_t n) {
        if (n > size) {
            T* grown = new T[n];
            if (size > 0) std::memcpy(grown, data, size * sizeof(T));
            delete[] data;
            data = grown;
        }
        size = n;
    }

    // Like resize, but growth discards the contents.
    void setSize(std::uint32_t n) {
        if (n > size) {
            T* fresh = new T[n];
            delete[] data;
            data = fresh;
        }
        size = n;
    }

    // Grows by one element; since size is the storage length, every append reallocates.
    void append(const T& value) {
        T* grown = new T[size + 1];
        if (size > 0) std::memcpy(grown, data, size * sizeof(T));
        grown[size] = value;
        delete[] data;
        data = grown;
        size += 1;
    }

private:
    void allocate(std::uint32_t n) {
        data = new T[n];
        size = n;
    }

    void copyFrom(const BaseVector<T>& other) {
        if (other.size > 0) std::memmove(data, other.data, other.size * sizeof(T));
    }

    Vector& assign(const BaseVector<T>& other) {
        if (static_cast<const BaseVector<T>*>(this) == &other) return *this;
        if (other.size > size) {
            T* fresh = new T[other.size];
            delete[] data;
            data = fresh;
        }
        size = other.size;
        copyFrom(other);
        return *this;
    }
};

template <typename T>
class BaseMatrix : public DataBlock {
public:
    BaseMatrix() = default;
    BaseMatrix(T* elements, std::uint32_t rowCount, std::uint32_t colCount)
        : data(elements), rows(rowCount), cols(colCount) {}

    // Row r as a view of cols elements. No range check.
    BaseVector<T> row(std::uint32_t r) const {
        return BaseVector<T>(data + static_cast<std::size_t>(r) * cols, cols);
    }

    T* data = nullptr;
    std::uint32_t rows = 0;
    std::uint32_t cols = 0;
};

template <typename T>
class Matrix : public BaseMatrix<T> {
public:
    using BaseMatrix<T>::data;
    using BaseMatrix<T>::rows;
    using BaseMatrix<T>::cols;

    Matrix() = default;
    Matrix(std::uint32_t rowCount, std::uint32_t colCount) { reshape(rowCount, colCount); }
    Matrix(const Matrix& other) : Matrix(static_cast<const BaseMatrix<T>&>(other)) {}
    explicit Matrix(const BaseMatrix<T>& other) { *this = other; }
    Matrix(Matrix&& other) noexcept { take(other); }
    ~Matrix() override { delete[] data; }

    // Replaces the storage whenever the element count differs from capacity.
    Matrix& operator=(const Matrix& other) {
        if (this == &other) return *this;
        const std::uint32_t count = other.rows * other.cols;
        if (count != capacity) replaceStorage(count);
        copyFrom(other);
        return *this;
    }

    // Replaces the storage only when capacity is too small.
    Matrix& operator=(const BaseMatrix<T>& other) {
        if (static_cast<const BaseMatrix<T>*>(this) == &other) return *this;
        const std::uint32_t count = other.rows * other.cols;
        if (capacity < count) replaceStorage(count);
        copyFrom(other);
        return *this;
    }

    Matrix& operator=(Matrix&& other) noexcept {
        if (this != &other) {
            delete[] data;
            take(other);
        }
        return *this;
    }

    // Element (c, r) of the result is element (r, c) of m.
    static Matrix transpose(const BaseMatrix<T>& m) {
        Matrix result(m.cols, m.rows);
        if (m.rows == 1 || m.cols == 1) {
            if (m.rows * m.cols > 0) std::memcpy(result.data, m.data, m.rows * m.cols * sizeof(T));
        } else {
            for (std::uint32_t r = 0; r < m.rows; ++r)
                for (std::uint32_t c = 0; c < m.cols; ++c)
                    result.data[static_cast<std::size_t>(c) * m.rows + r] =
                        m.data[static_cast<std::size_t>(r) * m.cols + c];
        }
        return result;
    }

    std::uint32_t capacity = 0;

private:
    void reshape(std::uint32_t rowCount, std::uint32_t colCount) {
        replaceStorage(rowCount * colCount);
        rows = rowCount;
        cols = colCount;
    }

    void replaceStorage(std::uint32_t count) {
        T* fresh = new T[count];
        delete[] data;
        data = fresh;
        capacity = count;
    }

    void copyFrom(const BaseMatrix<T>& other) {
        rows = other.rows;
        cols = other.cols;
        const std::size_t count = static_cast<std::size_t>(rows) * cols;
        if (count > 0) std::memmove(data, other.data, count * sizeof(T));
    }

    void take(Matrix& other) {
        data = std::exchange(other.data, nullptr);
        rows = std::exchange(other.rows, 0u);
        cols = std::exchange(other.cols, 0u);
        capacity = std::exchange(other.capacity, 0u);
    }
};
