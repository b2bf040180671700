// Storage rules of the vector and matrix containers, observed through size and data pointers.
#include <gtest/gtest.h>

#include "qvt/base_vector.h"

namespace {

Vector<float> make(std::initializer_list<float> values) {
    Vector<float> v(static_cast<std::uint32_t>(values.size()));
    std::uint32_t i = 0;
    for (float x : values) v.data[i++] = x;
    return v;
}

TEST(Subvector, BoundsAndView) {
    Vector<float> v = make({1, 2, 3, 4});
    BaseVector<float> tail = v.subvector(2, 2);
    EXPECT_EQ(tail.data, v.data + 2);
    EXPECT_EQ(tail.size, 2u);
    EXPECT_EQ(v.subvector(4, 0).size, 0u);
    try {
        v.subvector(4, 1);
        FAIL() << "expected QVTException";
    } catch (const QVTException& e) {
        EXPECT_STREQ(e.what(), "subvector parameters out of range");
        EXPECT_EQ(e.source(), "qvt/base_vector");
        EXPECT_EQ(e.line(), 256);
    }
    // start + length must not wrap around 32 bits
    EXPECT_THROW(v.subvector(2, 0xFFFFFFFFu), QVTException);
}

TEST(VectorStorage, ZeroLengthVectorStillAllocates) {
    Vector<float> empty;
    EXPECT_EQ(empty.data, nullptr);
    Vector<float> zero(0);
    EXPECT_NE(zero.data, nullptr);
    EXPECT_EQ(zero.size, 0u);
    Vector<float> filled(3, 7.5f);
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(filled.data[i], 7.5f);
}

TEST(VectorStorage, AssignmentReallocatesOnlyPastCurrentSize) {
    Vector<float> target = make({1, 2, 3, 4});
    float* storage = target.data;
    const Vector<float> shorter = make({9, 8});
    target = shorter;
    EXPECT_EQ(target.data, storage) << "a shorter source keeps the storage";
    EXPECT_EQ(target.size, 2u);
    EXPECT_EQ(target.data[1], 8.0f);
    // Storage could hold 4, but size is 2: a 3-element source allocates again.
    Vector<float> three = make({5, 6, 7});
    target = three;
    EXPECT_NE(target.data, storage);
    EXPECT_EQ(target.size, 3u);
    EXPECT_EQ(target.data[2], 7.0f);
    // Self-assignment changes nothing.
    float* before = target.data;
    target = static_cast<const BaseVector<float>&>(target);
    EXPECT_EQ(target.data, before);
    EXPECT_EQ(target.size, 3u);
}

TEST(VectorStorage, ResizeKeepsElementsSetSizeDoesNotPromise) {
    Vector<float> v = make({1, 2, 3});
    v.resize(5);
    EXPECT_EQ(v.size, 5u);
    EXPECT_EQ(v.data[0], 1.0f);
    EXPECT_EQ(v.data[2], 3.0f);
    float* grown = v.data;
    v.resize(2);
    EXPECT_EQ(v.data, grown) << "shrinking keeps the storage";
    EXPECT_EQ(v.size, 2u);
    v.setSize(4);
    EXPECT_NE(v.data, grown) << "setSize past size replaces the storage";
    EXPECT_EQ(v.size, 4u);
    float* replaced = v.data;
    v.setSize(1);
    EXPECT_EQ(v.data, replaced);
}

TEST(VectorStorage, AppendGrowsByOneInCallOrder) {
    Vector<float> v;
    v.append(3);
    v.append(1);
    v.append(2);
    ASSERT_EQ(v.size, 3u);
    EXPECT_EQ(v.data[0], 3.0f);
    EXPECT_EQ(v.data[1], 1.0f);
    EXPECT_EQ(v.data[2], 2.0f);
}

TEST(MatrixStorage, RowViewsAndTranspose) {
    Matrix<float> m(3, 4);
    for (std::uint32_t i = 0; i < 12; ++i) m.data[i] = static_cast<float>(i);
    for (std::uint32_t r = 0; r < 3; ++r) {
        BaseVector<float> row = m.row(r);
        EXPECT_EQ(row.data, m.data + 4 * r);
        EXPECT_EQ(row.size, 4u);
    }
    Matrix<float> t = Matrix<float>::transpose(m);
    ASSERT_EQ(t.rows, 4u);
    ASSERT_EQ(t.cols, 3u);
    for (std::uint32_t r = 0; r < 3; ++r)
        for (std::uint32_t c = 0; c < 4; ++c) EXPECT_EQ(t.data[c * 3 + r], m.data[r * 4 + c]);

    Matrix<float> line(1, 5);
    for (std::uint32_t i = 0; i < 5; ++i) line.data[i] = static_cast<float>(10 + i);
    Matrix<float> column = Matrix<float>::transpose(line);
    EXPECT_EQ(column.rows, 5u);
    EXPECT_EQ(column.cols, 1u);
    for (std::uint32_t i = 0; i < 5; ++i) EXPECT_EQ(column.data[i], line.data[i]);
}

TEST(MatrixStorage, AssignmentRulesDependOnSourceForm) {
    float values[6] = {1, 2, 3, 4, 5, 6};
    BaseMatrix<float> view(values, 2, 3);
    Matrix<float> m;
    m = view;
    EXPECT_EQ(m.capacity, 6u);
    float* storage = m.data;
    BaseMatrix<float> smaller(values, 1, 2);
    m = smaller;  // from a view: kept while the capacity suffices
    EXPECT_EQ(m.data, storage);
    EXPECT_EQ(m.capacity, 6u);
    EXPECT_EQ(m.rows, 1u);
    EXPECT_EQ(m.cols, 2u);

    Matrix<float> other(1, 2);
    other.data[0] = 8;
    other.data[1] = 9;
    m = other;  // from a Matrix: replaced whenever the count differs from the capacity
    EXPECT_EQ(m.capacity, 2u);
    EXPECT_EQ(m.data[1], 9.0f);
}

}  // namespace
